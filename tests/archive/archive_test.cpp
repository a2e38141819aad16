// Keeping coupons: the bytes that come back, each index, what the archive
// refuses, and a coupon stored inside its caller's transaction.
#include <openssl/evp.h>
#include <sys/stat.h>

#include "coupons.h"

namespace kovrad::archive::test {
namespace {

constexpr char kSaleKey[] = "35261208723218000186599000000000000014272896";
constexpr char kCancellationKey[] = "35261208723218000186599000000000000029208889";

using ArchiveTest = ArchiveFolder;

TEST_F(ArchiveTest, GivesBackTheCouponsByteForByte) {
  Store(SignedSale());
  Store(SignedCancellation());
  std::string xml, error;
  ASSERT_EQ(archive_->Xml(std::string("CFe") + kSaleKey, &xml, &error), Read::kFound) << error;
  EXPECT_EQ(xml, SignedSale());
  ASSERT_EQ(archive_->Xml(kCancellationKey, &xml, &error), Read::kFound) << error;
  EXPECT_EQ(xml, SignedCancellation());

  // Reopened: the bytes were on disk, not in a cache.
  archive_.reset();
  archive_ = Archive::Open(path_, Archive::Mode::kExisting, &error);
  ASSERT_TRUE(archive_) << error;
  ASSERT_EQ(archive_->Xml(kSaleKey, &xml, &error), Read::kFound) << error;
  EXPECT_EQ(xml, SignedSale());
  EXPECT_EQ(archive_->Xml(KeyOf(99), &xml, &error), Read::kNotFound);
  EXPECT_EQ(archive_->Xml("CFe123", &xml, &error), Read::kNotFound);
}

TEST_F(ArchiveTest, TheFileIsItsOwnersAlone) {
  Store(SignedSale());
  for (const char* suffix : {"", "-wal"}) {
    struct stat st {};
    ASSERT_EQ(stat((path_ + suffix).c_str(), &st), 0) << suffix;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << suffix;
  }
}

TEST_F(ArchiveTest, KeepsOneCouponPerKey) {
  Store(SignedSale());
  std::string error;
  EXPECT_EQ(archive_->Put(SignedSale(), &error), Stored::kAlready);
  // Other bytes under a key already kept: the first stays.
  std::string other = SignedSale();
  Replace(&other, "<infCpl>", "<infCpl>X");
  EXPECT_EQ(archive_->Put(other, &error), Stored::kRefused);
  EXPECT_NE(error.find(kSaleKey), std::string::npos) << error;
  std::string xml;
  ASSERT_EQ(archive_->Xml(kSaleKey, &xml, &error), Read::kFound);
  EXPECT_EQ(xml, SignedSale());

  for (const char* bad : {"", "<CFe/>", "<nota/>", "not xml at all"}) {
    EXPECT_EQ(archive_->Put(bad, &error), Stored::kRefused) << bad;
  }
  std::string unpriced = SignedSale();
  Replace(&unpriced, "<vCFe>102.20</vCFe>", "<vCFe>10,22</vCFe>");
  EXPECT_EQ(archive_->Put(unpriced, &error), Stored::kRefused);
}

TEST_F(ArchiveTest, ReadsTheIndexFromTheCoupon) {
  Store(SignedSale());
  Store(SignedCancellation());
  Entry sale, cancellation;
  std::string error;
  ASSERT_EQ(archive_->Find(kSaleKey, &sale, &error), Read::kFound) << error;
  EXPECT_EQ(sale.kind, Kind::kSale);
  EXPECT_EQ(sale.number, 1);
  EXPECT_EQ(sale.serial, "900000000");
  EXPECT_EQ(sale.till, 1);
  EXPECT_EQ(sale.issued, 20261207125233);
  EXPECT_EQ(sale.total, 10220);
  EXPECT_EQ(sale.buyer, "11144477735");
  EXPECT_EQ(sale.cnpj, "08723218000186");
  EXPECT_EQ(sale.cancelled_by, kCancellationKey);
  EXPECT_EQ(sale.size, static_cast<int64_t>(SignedSale().size()));
  ASSERT_EQ(archive_->Find(kCancellationKey, &cancellation, &error), Read::kFound);
  EXPECT_EQ(cancellation.kind, Kind::kCancellation);
  EXPECT_EQ(cancellation.sale_key, kSaleKey);
  EXPECT_EQ(cancellation.number, 2);
  EXPECT_EQ(cancellation.total, 10220);
}

class SearchTest : public ArchiveFolder {
 protected:
  void SetUp() override {
    ArchiveFolder::SetUp();
    Store(SaleXml({.number = 10,
                   .date = "20261130",
                   .time = "235959",
                   .total = "5.00",
                   .buyer = "11144477735",
                   .till = "001"}));
    Store(SaleXml({.number = 11,
                   .date = "20261201",
                   .time = "000000",
                   .total = "7.50",
                   .buyer = "52998224725",
                   .till = "002"}));
    Store(SaleXml({.number = 12,
                   .date = "20261201",
                   .time = "183000",
                   .total = "7.50",
                   .buyer = "11144477735",
                   .till = "002"}));
    Store(SaleXml({.number = 13,
                   .date = "20261202",
                   .time = "090000",
                   .total = "12.00",
                   .buyer = "11144477735",
                   .till = "003"}));
  }

  // The coupon numbers `query` finds, in the order found.
  std::vector<int> Numbers(Query query) {
    Page page;
    std::string error;
    EXPECT_TRUE(archive_->Search(query, &page, &error)) << error;
    std::vector<int> numbers;
    for (const Entry& e : page.entries) numbers.push_back(e.number);
    return numbers;
  }
};

TEST_F(SearchTest, FindsByEachIndex) {
  using V = std::vector<int>;
  EXPECT_EQ(Numbers({}), (V{10, 11, 12, 13}));
  int64_t from = 0, to = 0;
  ASSERT_TRUE(ParseDay("2026-12-01", false, &from));
  ASSERT_TRUE(ParseDay("2026-12-01", true, &to));
  EXPECT_EQ(Numbers({.from = from, .to = to}), (V{11, 12}));
  ASSERT_TRUE(ParseMonth("2026-11", &from, &to));
  EXPECT_EQ(Numbers({.from = from, .to = to}), (V{10}));
  EXPECT_EQ(Numbers({.till = 2}), (V{11, 12}));
  EXPECT_EQ(Numbers({.buyer = "52998224725"}), (V{11}));
  EXPECT_EQ(Numbers({.serial = "900000000", .number = 12}), (V{12}));
  EXPECT_EQ(Numbers({.serial = "900000001", .number = 12}), V{});
  EXPECT_EQ(Numbers({.total = 750}), (V{11, 12}));
  EXPECT_EQ(Numbers({.till = 2, .buyer = "11144477735"}), (V{12}));
  EXPECT_EQ(Numbers({.kind = Kind::kCancellation}), V{});
  EXPECT_EQ(Numbers({.latest_first = true}), (V{13, 12, 11, 10}));
}

TEST_F(SearchTest, TellsCancelledSalesApart) {
  std::string cancellation = SignedCancellation();
  Replace(&cancellation, "chCanc=\"CFe35261208723218000186599000000000000014272896\"",
          "chCanc=\"CFe" + KeyOf(12) + "\"");
  Store(cancellation);
  using V = std::vector<int>;
  EXPECT_EQ(Numbers({.cancelled = true}), (V{12}));
  EXPECT_EQ(Numbers({.cancelled = false}), (V{10, 11, 13}));
  EXPECT_EQ(Numbers({.kind = Kind::kCancellation}), (V{2}));
  Entry sale;
  std::string error;
  ASSERT_EQ(archive_->Find(KeyOf(12), &sale, &error), Read::kFound);
  EXPECT_EQ(sale.cancelled_by, kCancellationKey);
}

TEST_F(SearchTest, PagesThroughALongList) {
  using V = std::vector<int>;
  Page page;
  std::string error;
  ASSERT_TRUE(archive_->Search({.page = 1, .per_page = 3}, &page, &error));
  EXPECT_TRUE(page.more);
  EXPECT_EQ(page.entries.size(), 3u);
  EXPECT_EQ(Numbers({.page = 2, .per_page = 3}), (V{13}));
  ASSERT_TRUE(archive_->Search({.page = 2, .per_page = 3}, &page, &error));
  EXPECT_FALSE(page.more);
  EXPECT_EQ(Numbers({.page = 3, .per_page = 3}), V{});
  int64_t count = 0;
  ASSERT_TRUE(archive_->Count({.till = 2}, &count, &error));
  EXPECT_EQ(count, 2);
}

TEST_F(ArchiveTest, RefusesToChangeOrRemoveWhatItKeeps) {
  Store(SignedSale());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  for (const char* sql :
       {"UPDATE archive_coupons SET total = 1", "UPDATE archive_coupons SET body = x'00'",
        "DELETE FROM archive_coupons", "UPDATE archive_dictionaries SET bytes = x'00'",
        "DELETE FROM archive_dictionaries"}) {
    EXPECT_NE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  }
  sqlite3_close(db);
  std::string xml, error;
  ASSERT_EQ(archive_->Xml(kSaleKey, &xml, &error), Read::kFound);
  EXPECT_EQ(xml, SignedSale());
}

// The hub's case: the coupon and the outcome of its sale are one commit.
TEST_F(ArchiveTest, AttachedItStoresInTheCallersTransaction) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir_ / "ledger.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE outcomes(reply TEXT)", nullptr, nullptr, nullptr),
            SQLITE_OK);
  std::string error;
  auto attached = Archive::Attach(db, &error);
  ASSERT_TRUE(attached) << error;
  auto count = [db](const char* table) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, (std::string("SELECT count(*) FROM ") + table).c_str(), -1, &s, nullptr);
    sqlite3_step(s);
    const int n = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    return n;
  };

  ASSERT_EQ(
      sqlite3_exec(db, "BEGIN; INSERT INTO outcomes VALUES('06000')", nullptr, nullptr, nullptr),
      SQLITE_OK);
  ASSERT_EQ(attached->Put(SignedSale(), &error), Stored::kNew) << error;
  ASSERT_EQ(sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(count("outcomes"), 0);
  EXPECT_EQ(count("archive_coupons"), 0);
  EXPECT_EQ(count("archive_dictionaries"), 0);

  // After the rollback the dictionary the coupon made is gone too: the next
  // coupon must not be stored against it.
  ASSERT_EQ(
      sqlite3_exec(db, "BEGIN; INSERT INTO outcomes VALUES('07000')", nullptr, nullptr, nullptr),
      SQLITE_OK);
  ASSERT_EQ(attached->Put(SignedCancellation(), &error), Stored::kNew) << error;
  ASSERT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(count("outcomes"), 1);
  std::string xml;
  ASSERT_EQ(attached->Xml(kCancellationKey, &xml, &error), Read::kFound) << error;
  EXPECT_EQ(xml, SignedCancellation());
  attached.reset();
  sqlite3_close(db);
}

std::string Base64(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  text.resize(static_cast<size_t>(EVP_EncodeBlock(
      reinterpret_cast<unsigned char*>(text.data()),
      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()))));
  return text;
}

TEST(CouponOfReplyTest, TakesTheCouponOfASaleOrACancellation) {
  const std::string sale = SignedSale();
  std::string xml;
  ASSERT_TRUE(CouponOfReply("000123|06000|0000|Emitido com sucesso|||" + Base64(sale) +
                                "|20261207125233|CFe" + kSaleKey + "|102.20|11144477735|sig",
                            &xml));
  EXPECT_EQ(xml, sale);
  // Lengths that pad with one and with two "=".
  for (const std::string& cut : {sale.substr(1), sale.substr(2)}) {
    ASSERT_TRUE(CouponOfReply("1|07000|0000|ok|||" + Base64(cut) + "|x", &xml));
    EXPECT_EQ(xml, cut);
  }
  EXPECT_FALSE(CouponOfReply("1|06001|0000|Código de ativação inválido|||", &xml));
  EXPECT_FALSE(CouponOfReply("1|06000|0000|ok|||", &xml));
  EXPECT_FALSE(CouponOfReply("1|06000|0000|ok|||não é base64|x", &xml));
  EXPECT_FALSE(CouponOfReply("000123|9999|Sem resposta do SAT", &xml));
}

}  // namespace
}  // namespace kovrad::archive::test
