// satcli and the archive, against the emulated device: the coupons of a sale
// and of its cancellation kept byte for byte as the device returned them,
// found by each index, and "satcli arquivo verificar" over them.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include "emulated_device.h"
#include "program.h"

namespace kovrad::test {
namespace {

constexpr char kCode[] = "12345678";

std::string Decoded(const std::string& base64) {
  std::string out(base64.size() / 4 * 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(base64.data()),
                                static_cast<int>(base64.size()));
  out.resize(static_cast<size_t>(n) - (base64.ends_with("==") ? 2 : base64.ends_with("=") ? 1 : 0));
  return out;
}

class SatcliArchive : public EmulatedDevice {
 protected:
  void SetUp() override {
    Start({"--kit"});
    db_ = dir_ / "cfe.db";
  }

  Finished Satcli(std::vector<std::string> args) {
    args.insert(args.begin(), {SATCLI_PATH, "--lib", KOVRAD_LIBRARY, "--arquivo", db_});
    return RunProgram(args);
  }
  Finished Arquivo(std::vector<std::string> args) {
    args.insert(args.begin(), {SATCLI_PATH, "arquivo"});
    args.insert(args.end(), {"--arquivo", db_});
    return RunProgram(args);
  }
  // The keys "procurar" lists for `options`.
  std::vector<std::string> Keys(std::vector<std::string> options) {
    options.insert(options.begin(), "procurar");
    const Finished run = Arquivo(options);
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> keys;
    for (size_t at = 0; at < run.out.size();) {
      const size_t end = run.out.find('\n', at);
      keys.push_back(run.out.substr(at, run.out.find('\t', at) - at));
      at = end == std::string::npos ? run.out.size() : end + 1;
    }
    return keys;
  }

  std::string db_;
};

TEST_F(SatcliArchive, KeepsTheCouponsOfASaleAndItsCancellation) {
  const Finished sold = Satcli({"EnviarDadosVenda", "--codigo", kCode, "--documento",
                                std::string(SATEMU_SAMPLES) + "/venda.xml"});
  ASSERT_EQ(sold.status, 0) << sold.err;
  const std::vector<std::string> sale = Fields(sold.out.substr(0, sold.out.find('\n')));
  ASSERT_GE(sale.size(), 10u);
  const std::string key = sale[8];
  struct stat st {};
  ASSERT_EQ(stat(db_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const Finished xml = Arquivo({"xml", key});
  ASSERT_EQ(xml.status, 0) << xml.err;
  EXPECT_EQ(xml.out, Decoded(sale[6]));

  const std::string day =
      sale[7].substr(0, 4) + "-" + sale[7].substr(4, 2) + "-" + sale[7].substr(6, 2);
  using Keys_ = std::vector<std::string>;
  EXPECT_EQ(Keys({"--de", day, "--ate", day}), Keys_{key});
  EXPECT_EQ(Keys({"--caixa", "1"}), Keys_{key});
  EXPECT_EQ(Keys({"--caixa", "2"}), Keys_{});
  EXPECT_EQ(Keys({"--documento", "11144477735"}), Keys_{key});
  EXPECT_EQ(
      Keys({"--serie", "900000000", "--numero", std::to_string(std::stoi(key.substr(34, 6)))}),
      Keys_{key});
  EXPECT_EQ(Keys({"--chave", key}), Keys_{key});

  std::string cancellation = ReadFile(std::string(SATEMU_SAMPLES) + "/cancelamento.xml");
  cancellation.replace(cancellation.find("CFe" + std::string(44, '0')), 47, key);
  WriteFile(dir_ / "canc.xml", cancellation);
  const Finished cancelled = Satcli(
      {"CancelarUltimaVenda", "--codigo", kCode, "--chave", key, "--documento", dir_ / "canc.xml"});
  ASSERT_EQ(cancelled.status, 0) << cancelled.err;
  const std::vector<std::string> reply = Fields(cancelled.out.substr(0, cancelled.out.find('\n')));
  EXPECT_EQ(Arquivo({"xml", reply[8]}).out, Decoded(reply[6]));
  EXPECT_EQ(Keys({"--cancelados"}), Keys_{key});

  const Finished verified = Arquivo({"verificar"});
  EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
  EXPECT_NE(verified.out.find("2 CF-e verificados"), std::string::npos) << verified.out;

  EXPECT_EQ(Arquivo({"xml", "CFe" + std::string(44, '1')}).status, 1);
  EXPECT_EQ(Arquivo({"procurar", "--de", "ontem"}).status, 3);
}

}  // namespace
}  // namespace kovrad::test
