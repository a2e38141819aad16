// The signed sample coupons, copies of the sale issued elsewhere in time,
// and an archive in a fresh folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "archive/archive.h"

namespace kovrad::archive::test {

inline std::string DataFile(const std::string& name) {
  std::ifstream in(std::string(RECEIPT_DATA) + "/" + name, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

inline std::string SignedSale() {
  return DataFile("cfe-venda.xml");
}
inline std::string SignedCancellation() {
  return DataFile("cfe-cancelamento.xml");
}

inline void Replace(std::string* text, const std::string& from, const std::string& to) {
  const size_t at = text->find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text->replace(at, from.size(), to);
}

// The sample sale as coupon `number` of `date` (AAAAMMDD) and `time`, with
// `total` and `buyer` in place of its own: its signature no longer holds.
struct Sale {
  int number = 1;
  std::string date = "20261207", time = "125233";
  std::string total = "102.20";
  std::string buyer = "11144477735";
  std::string cnpj = "08723218000186";
  std::string till = "001";
};

inline std::string KeyOf(int number) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%06d", number);
  return "3526120872321800018659900000000" + std::string(digits) + "4272896";
}

inline std::string SaleXml(const Sale& s) {
  std::string xml = SignedSale();
  char number[8];
  std::snprintf(number, sizeof number, "%06d", s.number);
  Replace(&xml, "35261208723218000186599000000000000014272896", KeyOf(s.number));
  Replace(&xml, "<nCFe>000001</nCFe>", "<nCFe>" + std::string(number) + "</nCFe>");
  Replace(&xml, "<dEmi>20261207</dEmi><hEmi>125233</hEmi>",
          "<dEmi>" + s.date + "</dEmi><hEmi>" + s.time + "</hEmi>");
  Replace(&xml, "<numeroCaixa>001</numeroCaixa>", "<numeroCaixa>" + s.till + "</numeroCaixa>");
  Replace(&xml, "<emit><CNPJ>08723218000186</CNPJ>", "<emit><CNPJ>" + s.cnpj + "</CNPJ>");
  Replace(&xml, "<CPF>11144477735</CPF>", "<CPF>" + s.buyer + "</CPF>");
  Replace(&xml, "<vCFe>102.20</vCFe>", "<vCFe>" + s.total + "</vCFe>");
  return xml;
}

class ArchiveFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/archive-test-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
    path_ = (dir_ / "cfe.db").string();
    std::string error;
    archive_ = Archive::Open(path_, Archive::Mode::kCreate, &error);
    ASSERT_TRUE(archive_) << error;
  }
  void TearDown() override {
    archive_.reset();
    std::filesystem::remove_all(dir_);
  }

  void Store(const std::string& xml) {
    std::string error;
    ASSERT_EQ(archive_->Put(xml, &error), Stored::kNew) << error;
  }

  std::filesystem::path dir_;
  std::string path_;
  std::unique_ptr<Archive> archive_;
};

}  // namespace kovrad::archive::test
