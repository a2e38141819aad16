// satcli venda and satcli cancelar against the emulated device: the sale's
// JSON checked before anything is sent, signed, and cancelled by its key.
#include <gtest/gtest.h>

#include "client/reply_line.h"
#include "emulated_device.h"
#include "program.h"

namespace kovrad::test {
namespace {

Finished Satcli(std::vector<std::string> args) {
  args.insert(args.begin(), {SATCLI_PATH, "--lib", KOVRAD_LIBRARY});
  return RunProgram(args);
}

class SaleFromJson : public EmulatedDevice {
 protected:
  void SetUp() override { Start({"--kit"}); }

  // The example sale with one text replaced, written to the test's directory.
  std::string Altered(const std::string& from, const std::string& to) {
    std::string sale = ReadFile(CFE_SALE);
    const size_t at = sale.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) sale.replace(at, from.size(), to);
    const std::string path = dir_.path() + "/altered.json";
    WriteFile(path, sale);
    return path;
  }
};

TEST_F(SaleFromJson, CheckOnlyAcceptsOrListsEveryRefusalWithoutSending) {
  const Finished valid = Satcli({"venda", "--verificar", CFE_SALE});
  EXPECT_EQ(valid.status, 0) << valid.err;
  EXPECT_TRUE(valid.out.starts_with("Venda válida: ")) << valid.out;

  // Two faults at once: both are named, by path and code, and nothing is sent.
  std::string path = Altered("\"NCM\": \"10063021\"", "\"NCM\": \"1006\"");
  std::string sale = ReadFile(path);
  sale.replace(sale.find("\"CFOP\": \"5102\""), 14, "\"CFOP\": \"51\"");
  WriteFile(path, sale);
  const Finished refused = Satcli({"venda", "--verificar", path});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("det[1].prod.NCM"), std::string::npos) << refused.out;
  EXPECT_NE(refused.out.find("(1209)"), std::string::npos) << refused.out;
  EXPECT_NE(refused.out.find("det[1].prod.CFOP"), std::string::npos) << refused.out;
  EXPECT_NE(refused.err.find("2 refusals; nothing was sent"), std::string::npos) << refused.err;
  const Finished sent = Satcli({"venda", "--codigo", "12345678", path});
  EXPECT_EQ(sent.status, 1);
  EXPECT_EQ(sent.out.find("06000"), std::string::npos) << sent.out;

  EXPECT_EQ(Satcli({"venda", dir_.path() + "/missing.json"}).status, 3);
  EXPECT_EQ(Satcli({"venda"}).status, 3);
  EXPECT_EQ(Satcli({"cancelar", "CFe123"}).status, 3);
}

TEST_F(SaleFromJson, SignsTheSaleThenCancelsItByItsKey) {
  const Finished sold = Satcli({"venda", "--codigo", "12345678", CFE_SALE});
  ASSERT_EQ(sold.status, 0) << sold.out << sold.err;
  const std::vector<std::string> fields =
      client::SplitFields(sold.out.substr(0, sold.out.find('\n')));
  ASSERT_GT(fields.size(), 8u) << sold.out;
  EXPECT_EQ(fields[1], "06000");
  const std::string key = fields[8];
  ASSERT_EQ(key.size(), 47u) << key;

  const Finished checked = Satcli({"cancelar", "--verificar", key, CFE_SALE});
  EXPECT_EQ(checked.status, 0) << checked.err;
  EXPECT_EQ(checked.out, "Cancelamento válido de " + key + "\n");
  EXPECT_EQ(Satcli({"cancelar", "--verificar", "CFe1234", CFE_SALE}).status, 1);

  const Finished cancelled = Satcli({"cancelar", "--codigo", "12345678", key, CFE_SALE});
  EXPECT_EQ(cancelled.status, 0) << cancelled.out << cancelled.err;
  EXPECT_NE(cancelled.out.find("|07000|"), std::string::npos) << cancelled.out;
}

}  // namespace
}  // namespace kovrad::test
