// The month's bundle: every XML of the month and no other, each as kept,
// and a summary whose figures are those of the XMLs themselves, read here
// on their own with XPath, in the CSV and in the PDF alike.
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <sys/stat.h>
#include <zip.h>

#include <map>
#include <set>

#include "archive/bundle.h"
#include "coupons.h"

namespace kovrad::archive::test {
namespace {

using Files = std::map<std::string, std::string>;

Files Unzip(const std::string& path) {
  Files files;
  int code = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY, &code);
  EXPECT_NE(zip, nullptr) << path;
  if (zip == nullptr) return files;
  for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &st);
    std::string bytes(st.size, '\0');
    zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
    EXPECT_EQ(zip_fread(file, bytes.data(), st.size), static_cast<zip_int64_t>(st.size));
    zip_fclose(file);
    files[st.name] = bytes;
  }
  zip_close(zip);
  return files;
}

// The sum of an XPath number over documents, in cents.
int64_t Sum(const std::vector<std::string>& documents, const char* xpath) {
  double sum = 0;
  for (const std::string& xml : documents) {
    xmlDoc* doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, 0);
    xmlXPathContext* context = xmlXPathNewContext(doc);
    xmlXPathObject* value = xmlXPathEvalExpression(BAD_CAST xpath, context);
    sum += value->floatval;
    xmlXPathFreeObject(value);
    xmlXPathFreeContext(context);
    xmlFreeDoc(doc);
  }
  return static_cast<int64_t>(sum * 100 + 0.5);
}

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  size_t begin = 0;
  for (size_t end; (end = line.find(';', begin)) != std::string::npos; begin = end + 1) {
    cells.push_back(line.substr(begin, end - begin));
  }
  cells.push_back(line.substr(begin));
  return cells;
}

// "102,20" in cents.
int64_t Cents(const std::string& money) {
  const size_t comma = money.find(',');
  return std::stoll(money.substr(0, comma)) * 100 + std::stoll(money.substr(comma + 1));
}

// The CSV's rows by their first two cells ("dia;2026-12-01", "mes;2026-12").
std::map<std::string, std::vector<std::string>> Rows(const std::string& csv) {
  std::map<std::string, std::vector<std::string>> rows;
  size_t begin = 0;
  for (size_t end; (end = csv.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
    const auto cells = Cells(csv.substr(begin, end - begin));
    rows[cells[0] + ";" + cells[1] + (cells[0] == "pagamento" ? ";" + cells[2] : "")] = cells;
  }
  return rows;
}

class BundleTest : public ArchiveFolder {
 protected:
  void SetUp() override {
    ArchiveFolder::SetUp();
    // December: three sales over two days, one of them cancelled, and the
    // sample pair (7 December); around it, coupons of other months and of
    // another issuer that must stay out.
    for (const Sale& s :
         {Sale{.number = 20, .date = "20261201", .time = "000000", .total = "10.00"},
          Sale{.number = 21, .date = "20261201", .time = "120000", .total = "20.50"},
          Sale{.number = 22, .date = "20261231", .time = "235959", .total = "3.25"},
          Sale{.number = 23, .date = "20261130", .time = "235959"},
          Sale{.number = 24, .date = "20270101", .time = "000000"},
          Sale{.number = 25, .date = "20261215", .cnpj = "11222333000181"}}) {
      const std::string xml = SaleXml(s);
      Store(xml);
      if (s.number <= 22) december_["vendas/CFe" + KeyOf(s.number) + ".xml"] = xml;
    }
    Store(SignedSale());
    Store(SignedCancellation());
    december_["vendas/CFe35261208723218000186599000000000000014272896.xml"] = SignedSale();
    december_["cancelamentos/CFe35261208723218000186599000000000000029208889.xml"] =
        SignedCancellation();
    bundle_ = (dir_ / "2026-12.zip").string();
  }

  BundleReport Write(const std::string& cnpj = "08723218000186") {
    BundleReport report;
    std::string error;
    EXPECT_TRUE(WriteBundle(*archive_, "2026-12", cnpj, bundle_, nullptr, &report, &error))
        << error;
    return report;
  }

  Files december_;
  std::string bundle_;
};

TEST_F(BundleTest, HoldsEveryCouponOfTheMonthAndNoOther) {
  const BundleReport report = Write();
  EXPECT_EQ(report.files, 5);
  Files files = Unzip(bundle_);
  ASSERT_EQ(files.count("resumo.csv"), 1u);
  ASSERT_EQ(files.count("resumo.pdf"), 1u);
  files.erase("resumo.csv");
  files.erase("resumo.pdf");
  // Names and bytes alike.
  EXPECT_EQ(files, december_);
  struct stat st {};
  ASSERT_EQ(stat(bundle_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(BundleTest, SummaryAddsUpTheXmlsInTheBundle) {
  Write();
  const Files files = Unzip(bundle_);
  std::vector<std::string> sales, cancellations;
  for (const auto& [name, xml] : files) {
    if (name.starts_with("vendas/")) sales.push_back(xml);
    if (name.starts_with("cancelamentos/")) cancellations.push_back(xml);
  }
  const auto rows = Rows(files.at("resumo.csv"));
  const auto& month = rows.at("mes;2026-12");
  // vendas, bruto, descontos, acrescimos, total, cancelamentos, valor_cancelado, liquido
  EXPECT_EQ(std::stoll(month[3]), static_cast<int64_t>(sales.size()));
  EXPECT_EQ(Cents(month[4]), Sum(sales, "number(/CFe/infCFe/total/ICMSTot/vProd)"));
  EXPECT_EQ(Cents(month[5]), Sum(sales, "number(/CFe/infCFe/total/ICMSTot/vDesc)") +
                                 Sum(sales, "number(/CFe/infCFe/total/DescAcrEntr/vDescSubtot)"));
  EXPECT_EQ(Cents(month[6]), Sum(sales, "number(/CFe/infCFe/total/ICMSTot/vOutro)"));
  EXPECT_EQ(Cents(month[7]), Sum(sales, "number(/CFe/infCFe/total/vCFe)"));
  EXPECT_EQ(std::stoll(month[8]), static_cast<int64_t>(cancellations.size()));
  EXPECT_EQ(Cents(month[9]), Sum(cancellations, "number(/CFeCanc/infCFe/total/vCFe)"));
  EXPECT_EQ(Cents(month[10]), Cents(month[7]) - Cents(month[9]));

  // Days: the first holds two sales, the last one sale at its last second.
  EXPECT_EQ(rows.at("dia;2026-12-01")[3], "2");
  EXPECT_EQ(rows.at("dia;2026-12-01")[7], "30,50");
  EXPECT_EQ(rows.at("dia;2026-12-31")[7], "3,25");
  EXPECT_EQ(rows.at("dia;2026-12-07")[8], "1");
  EXPECT_EQ(rows.count("dia;2026-11-30"), 0u);
  // Means of payment: the copies keep the sample's card 50.00 and cash 60.00.
  EXPECT_EQ(rows.at("pagamento;2026-12;03 Cartão de Crédito")[3], "4");
  EXPECT_EQ(Cents(rows.at("pagamento;2026-12;03 Cartão de Crédito")[7]),
            Sum(sales, "sum(/CFe/infCFe/pgto/MP[cMP='03']/vMP)"));
  EXPECT_EQ(Cents(rows.at("pagamento;2026-12;01 Dinheiro")[7]),
            Sum(sales, "sum(/CFe/infCFe/pgto/MP[cMP='01']/vMP)"));
  EXPECT_EQ(Cents(rows.at("troco;2026-12")[7]), Sum(sales, "number(/CFe/infCFe/pgto/vTroco)"));
}

TEST_F(BundleTest, PdfShowsTheCsvsFigures) {
  if (std::system("pdftotext -v >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  }
  Write();
  const Files files = Unzip(bundle_);
  const std::string pdf = (dir_ / "resumo.pdf").string(), text = (dir_ / "resumo.txt").string();
  std::ofstream(pdf, std::ios::binary) << files.at("resumo.pdf");
  ASSERT_EQ(std::system(("pdftotext -layout '" + pdf + "' '" + text + "'").c_str()), 0);
  std::ifstream in(text);
  std::vector<std::vector<std::string>> lines;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    lines.emplace_back(std::istream_iterator<std::string>(words),
                       std::istream_iterator<std::string>());
  }
  // Every day's row of the CSV is a line of the PDF, figure for figure.
  for (const auto& [name, cells] : Rows(files.at("resumo.csv"))) {
    if (cells[0] != "dia") continue;
    std::vector<std::string> expected(cells.begin() + 3, cells.end());
    expected.insert(expected.begin(), cells[1]);
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << name;
  }
}

TEST_F(BundleTest, TakesOneIssuerOrAll) {
  EXPECT_EQ(Write("11222333000181").files, 1);
  EXPECT_EQ(Unzip(bundle_).count("vendas/CFe" + KeyOf(25) + ".xml"), 1u);
  EXPECT_EQ(Write("").files, 6);
  EXPECT_EQ(Write("00000000000000").files, 0);
  EXPECT_EQ(Rows(Unzip(bundle_).at("resumo.csv")).at("mes;2026-12")[3], "0");
}

TEST_F(BundleTest, WritesNothingFromADamagedArchive) {
  Write();
  const std::string before = Unzip(bundle_).at("resumo.csv");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "DROP TRIGGER archive_coupons_kept;"
                         " UPDATE archive_coupons SET body = substr(body, 1, 40) WHERE number = 21",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  BundleReport report;
  std::string error;
  EXPECT_FALSE(WriteBundle(*archive_, "2026-12", "", bundle_, nullptr, &report, &error));
  EXPECT_NE(error.find(KeyOf(21)), std::string::npos) << error;
  // The earlier bundle stands, and no draft is left beside it.
  EXPECT_EQ(Unzip(bundle_).at("resumo.csv"), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}),
            4);  // db, -wal, -shm, zip
  EXPECT_FALSE(WriteBundle(*archive_, "2026-13", "", bundle_, nullptr, &report, &error));
}

}  // namespace
}  // namespace kovrad::archive::test
