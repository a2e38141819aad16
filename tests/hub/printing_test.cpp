// A till's extrato printed by the hub: the original on the first whole
// print, "SEGUNDA VIA" after it, and a failed print never counted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "fake_printer.h"
#include "printing.h"

namespace kovrad::hub {
namespace {

using receipt::test::kPaperOut;
using receipt::test::kReady;
using receipt::test::TcpPrinter;

constexpr char kKey[] = "35261208723218000186599000000000000014272896";

std::string Sale() {
  std::ifstream in(std::string(RECEIPT_DATA) + "/cfe-venda.xml", std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

class HubPrinting : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/hub-printing.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    std::string error;
    record_ = PrintRecord::Open(dir_ + "/hub.db", &error);
    ASSERT_NE(record_, nullptr) << error;
    printers_.named["balcao"] = printer_.Destination();
    printers_.tills[1] = "balcao";
  }
  void TearDown() override {
    record_.reset();
    std::filesystem::remove_all(dir_);
  }

  HttpResponse Send(int till, const std::string& printer = "") {
    return PrintCoupon(printers_, *record_, {kKey, Sale(), till, printer});
  }
  nlohmann::json Print(int till, int expected_status) {
    const HttpResponse response = Send(till);
    EXPECT_EQ(response.status, expected_status) << response.body;
    return nlohmann::json::parse(response.body);
  }

  std::string dir_;
  TcpPrinter printer_;
  Printers printers_;
  std::unique_ptr<PrintRecord> record_;
};

TEST_F(HubPrinting, PaperOutLosesNothingAndOnlyLaterPrintsAreSecondCopies) {
  printer_.Set(kPaperOut);
  const nlohmann::json refused = Print(1, 503);
  EXPECT_FALSE(refused["impresso"]);
  EXPECT_NE(refused["mensagem"].get<std::string>().find("sem papel"), std::string::npos);
  EXPECT_NE(refused["estado_antes"].get<std::string>().find("sem papel"), std::string::npos);
  EXPECT_TRUE(refused["estado_depois"].is_null());
  EXPECT_EQ(printer_.Received(), "");

  printer_.Set(kReady);
  const nlohmann::json original = Print(1, 200);
  EXPECT_TRUE(original["impresso"]);
  EXPECT_FALSE(original["segunda_via"]);
  EXPECT_EQ(original["estado_depois"], "impressora pronta");
  EXPECT_EQ(printer_.Received().find("SEGUNDA VIA"), std::string::npos);

  const nlohmann::json copy = Print(1, 200);
  EXPECT_TRUE(copy["segunda_via"]);
  EXPECT_NE(printer_.Received().find("SEGUNDA VIA"), std::string::npos);

  const std::vector<PrintEntry> prints = record_->For(kKey);
  ASSERT_EQ(prints.size(), 3u);
  EXPECT_FALSE(prints[0].printed);
  EXPECT_TRUE(prints[1].printed && !prints[1].second_copy);
  EXPECT_TRUE(prints[2].printed && prints[2].second_copy);
}

TEST_F(HubPrinting, ATillWithoutAPrinterIsToldSoOrGetsTheOthersOne) {
  const HttpResponse none = Send(2);
  EXPECT_EQ(none.status, 409);
  EXPECT_NE(none.body.find("caixa 2"), std::string::npos) << none.body;
  EXPECT_EQ(Send(2, "escritorio").status, 404);
  EXPECT_EQ(printer_.Received(), "");

  printers_.others = "balcao";
  Print(2, 200);
  EXPECT_NE(printer_.Received(), "");
  EXPECT_TRUE(record_->For(kKey).at(0).printed);
}

}  // namespace
}  // namespace kovrad::hub
