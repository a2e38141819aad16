// satcli's extrato: a saved coupon rendered to each output, the mistakes
// refused before anything is written or sent, and --extrato on a sale and a
// cancellation made on the emulated device.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "emulated_device.h"
#include "program.h"

namespace kovrad::test {
namespace {

constexpr char kCode[] = "12345678";

Finished Satcli(std::vector<std::string> args) {
  args.insert(args.begin(), {SATCLI_PATH, "--lib", KOVRAD_LIBRARY});
  return RunProgram(args);
}

// `args` without the library option, which the extrato subcommand does not take.
Finished Extrato(std::vector<std::string> args) {
  args.insert(args.begin(), {SATCLI_PATH, "extrato"});
  return RunProgram(args);
}

const std::string kSale = std::string(RECEIPT_DATA) + "/cfe-venda.xml";

TEST(ExtratoCommand, RendersASavedCouponToEveryOutput) {
  TempDir dir;
  const Finished run = Extrato({kSale, "--png", dir / "e.png", "--pdf", dir / "e.pdf", "--escpos",
                                dir / "e.bin", "--texto", "--largura", "58"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(ReadFile(dir / "e.png").starts_with("\x89PNG"));
  EXPECT_TRUE(ReadFile(dir / "e.pdf").starts_with("%PDF"));
  EXPECT_TRUE(ReadFile(dir / "e.bin").starts_with("\x1B@"));
  EXPECT_NE(run.out.find("TOTAL R$                  102,20\n"), std::string::npos) << run.out;

  // After the options that hold for every call, as a script that always names its library.
  const Finished after_options = Satcli({"extrato", kSale, "--texto"});
  ASSERT_EQ(after_options.status, 0) << after_options.err;
  EXPECT_EQ(after_options.out, RunProgram({SATCLI_PATH, "extrato", kSale, "--texto"}).out);
}

TEST(ExtratoCommand, RefusesMistakesBeforeWritingOrCallingTheDevice) {
  TempDir dir;
  WriteFile(dir / "kept.png", "earlier extrato");
  WriteFile(dir / "damaged.xml", "<CFe><infCFe Id=\"CFe123\"/></CFe>");
  EXPECT_EQ(Extrato({kSale}).status, 3);
  EXPECT_EQ(Extrato({kSale, "--texto", "--largura", "76"}).status, 3);
  EXPECT_EQ(Extrato({dir / "missing.xml", "--texto"}).status, 3);
  const Finished damaged = Extrato({dir / "damaged.xml", "--png", dir / "kept.png"});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("chave de acesso inválida"), std::string::npos) << damaged.err;
  EXPECT_EQ(ReadFile(dir / "kept.png"), "earlier extrato");

  // No device here: a refusal that got as far as the library would say so.
  EXPECT_EQ(Satcli({"EnviarDadosVenda", "--codigo", kCode, "--documento", kSale, "--extrato",
                    dir / "e.gif"})
                .status,
            3);
  EXPECT_EQ(Satcli({"ConsultarSAT", "--extrato", dir / "e.png"}).status, 3);
  EXPECT_EQ(Satcli({"EnviarDadosVenda", "--codigo", kCode, "--documento", kSale, "--extrato",
                    dir / "no/such/folder/e.png"})
                .status,
            3);
  EXPECT_FALSE(std::filesystem::exists(dir / "e.png"));
}

TEST(ExtratoCommand, WritesRegularFilesDevicesAndFifosOnly) {
  TempDir dir;
  namespace fs = std::filesystem;
  // A link is never replaced, nor the file it names written through it.
  WriteFile(dir / "kept.bin", "earlier");
  fs::create_symlink(dir / "kept.bin", dir / "link.bin");
  const Finished linked = Extrato({kSale, "--escpos", dir / "link.bin"});
  EXPECT_EQ(linked.status, 1);
  EXPECT_NE(linked.err.find("not a regular file"), std::string::npos) << linked.err;
  EXPECT_TRUE(fs::is_symlink(dir / "link.bin"));
  EXPECT_EQ(ReadFile(dir / "kept.bin"), "earlier");
  EXPECT_EQ(Extrato({kSale, "--escpos", dir.path()}).status, 1);

  // A FIFO nobody reads is reported after a bounded wait, not waited on forever.
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const Finished unread = Extrato({kSale, "--escpos", dir / "fifo"});
  EXPECT_EQ(unread.status, 1);
  EXPECT_NE(unread.err.find("fifo"), std::string::npos) << unread.err;
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));

  // A device is written in place.
  EXPECT_EQ(Extrato({kSale, "--escpos", "/dev/null"}).status, 0);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

class ExtratoOnDevice : public EmulatedDevice {
 protected:
  void SetUp() override { Start({"--kit"}); }
};

TEST_F(ExtratoOnDevice, RendersTheCouponsASaleAndItsCancellationMake) {
  const Finished sold =
      Satcli({"EnviarDadosVenda", "--codigo", kCode, "--documento",
              std::string(SATEMU_SAMPLES) + "/venda.xml", "--extrato", dir_ / "venda.png"});
  ASSERT_EQ(sold.status, 0) << sold.out << sold.err;
  EXPECT_TRUE(ReadFile(dir_ / "venda.png").starts_with("\x89PNG"));
  std::smatch key;
  ASSERT_TRUE(std::regex_search(sold.out, key, std::regex(R"(\|(CFe\d{44})\|)"))) << sold.out;

  std::string cancellation = ReadFile(std::string(SATEMU_SAMPLES) + "/cancelamento.xml");
  const std::string placeholder = "CFe" + std::string(44, '0');
  cancellation.replace(cancellation.find(placeholder), placeholder.size(), key[1].str());
  WriteFile(dir_ / "canc.xml", cancellation);
  const Finished cancelled = Satcli({"--salvar", dir_ / "cfe-canc.xml", "CancelarUltimaVenda",
                                     "--codigo", kCode, "--chave", key[1].str(), "--documento",
                                     dir_ / "canc.xml", "--extrato=" + dir_ / "canc.txt"});
  ASSERT_EQ(cancelled.status, 0) << cancelled.out << cancelled.err;
  EXPECT_TRUE(ReadFile(dir_ / "cfe-canc.xml").ends_with("</CFeCanc>"));
  const std::string text = ReadFile(dir_ / "canc.txt");
  EXPECT_NE(text.find("CANCELAMENTO"), std::string::npos) << text;
  const std::string sale_key = key[1].str().substr(3);
  EXPECT_NE(text.find(sale_key.substr(0, 4) + " " + sale_key.substr(4, 4)), std::string::npos);
}

}  // namespace
}  // namespace kovrad::test
