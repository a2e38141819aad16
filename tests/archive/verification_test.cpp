// Checking what is kept: each coupon's signature, and the archive's whole
// content against hashes, signatures, index and guards after one byte of
// the database file's content was changed behind its back.
#include "archive/signature.h"
#include "coupons.h"

namespace kovrad::archive::test {
namespace {

TEST(SignatureTest, HoldsForTheDevicesCouponsAsSigned) {
  std::string problem;
  EXPECT_TRUE(VerifySignature(SignedSale(), &problem)) << problem;
  EXPECT_TRUE(VerifySignature(SignedCancellation(), &problem)) << problem;
}

TEST(SignatureTest, FailsWhenAnyPartChanged) {
  struct Change {
    const char* from;
    const char* to;
  };
  // The content, the digest, the signed part, the signature value, the
  // algorithm and the certificate.
  for (const Change& c : {Change{"<vCFe>102.20</vCFe>", "<vCFe>102.30</vCFe>"},
                          Change{"<DigestValue>", "<DigestValue>AAAA"},
                          Change{"<Reference URI=", "<Reference Type=\"x\" URI="},
                          Change{"<SignatureValue>", "<SignatureValue>AAAA"},
                          Change{"xmldsig-more#rsa-sha256", "xmldsig#rsa-sha1"},
                          Change{"<X509Certificate>MII", "<X509Certificate>MIJ"}}) {
    std::string xml = SignedSale();
    Replace(&xml, c.from, c.to);
    std::string problem;
    EXPECT_FALSE(VerifySignature(xml, &problem)) << c.from;
    EXPECT_FALSE(problem.empty());
  }
  // Moved to another element's Id, the reference no longer names infCFe.
  std::string xml = SignedSale();
  Replace(&xml, "<infCFe Id=\"CFe", "<infCFe Id=\"CFf");
  std::string problem;
  EXPECT_FALSE(VerifySignature(xml, &problem));
  EXPECT_FALSE(VerifySignature("<CFe><infCFe Id=\"CFe1\"/></CFe>", &problem));
  EXPECT_FALSE(VerifySignature("<<", &problem));
}

class VerifyTest : public ArchiveFolder {
 protected:
  void SetUp() override {
    ArchiveFolder::SetUp();
    Store(SignedSale());
    Store(SignedCancellation());
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db_), SQLITE_OK);
  }
  void TearDown() override {
    sqlite3_close(db_);
    ArchiveFolder::TearDown();
  }

  void Sql(const std::string& sql) {
    char* message = nullptr;
    ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << message;
  }

  // One byte of a coupon's stored body changed, past the guard.
  void ChangeOneByte(const std::string& key) {
    Sql("DROP TRIGGER archive_coupons_kept");
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db_, "SELECT body FROM archive_coupons WHERE key = ?", -1, &s, nullptr);
    sqlite3_bind_text(s, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    std::string body(static_cast<const char*>(sqlite3_column_blob(s, 0)),
                     static_cast<size_t>(sqlite3_column_bytes(s, 0)));
    sqlite3_finalize(s);
    body[body.size() / 2] ^= 0x01;
    sqlite3_prepare_v2(db_, "UPDATE archive_coupons SET body = ? WHERE key = ?", -1, &s, nullptr);
    sqlite3_bind_blob(s, 1, body.data(), static_cast<int>(body.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 2, key.c_str(), -1, SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(s), SQLITE_DONE);
    sqlite3_finalize(s);
  }

  std::vector<std::string> ProblemKeys(const Verification& v) {
    std::vector<std::string> keys;
    for (const Problem& p : v.problems) keys.push_back(p.key);
    return keys;
  }

  sqlite3* db_ = nullptr;
};

TEST_F(VerifyTest, PassesAnUntouchedArchive) {
  int64_t last_done = 0, last_total = 0;
  const Verification v = archive_->Verify([&](int64_t done, int64_t total) {
    last_done = done;
    last_total = total;
  });
  EXPECT_TRUE(v.ok()) << v.problems.front().what;
  EXPECT_EQ(v.checked, 2);
  EXPECT_EQ(last_done, 2);
  EXPECT_EQ(last_total, 2);
}

TEST_F(VerifyTest, FindsOneChangedByte) {
  const std::string sale = "35261208723218000186599000000000000014272896";
  ChangeOneByte(sale);
  const Verification v = archive_->Verify(nullptr);
  EXPECT_EQ(v.checked, 2);
  // The dropped guard, then the coupon; the cancellation is fine.
  EXPECT_EQ(ProblemKeys(v), (std::vector<std::string>{"", sale}));
  std::string xml, error;
  EXPECT_EQ(archive_->Xml(sale, &xml, &error), Read::kDamaged);
  EXPECT_NE(error.find(sale), std::string::npos);
}

TEST_F(VerifyTest, FindsAnIndexThatNoLongerDescribesItsCoupon) {
  Sql("DROP TRIGGER archive_coupons_kept");
  Sql("UPDATE archive_coupons SET total = total + 1 WHERE kind = 1");
  const Verification v = archive_->Verify(nullptr);
  ASSERT_EQ(v.problems.size(), 2u);
  EXPECT_EQ(v.problems[1].key, "35261208723218000186599000000000000029208889");
  EXPECT_NE(v.problems[1].what.find("total"), std::string::npos) << v.problems[1].what;
}

TEST_F(ArchiveFolder, VerifyFindsACouponStoredWithABrokenSignature) {
  // Archived as received, so nothing is lost, and reported.
  std::string xml = SignedSale();
  Replace(&xml, "<vCFe>102.20</vCFe>", "<vCFe>1.00</vCFe>");
  Store(xml);
  const Verification v = archive_->Verify(nullptr);
  ASSERT_EQ(v.problems.size(), 1u);
  EXPECT_NE(v.problems[0].what.find("DigestValue"), std::string::npos) << v.problems[0].what;
}

}  // namespace
}  // namespace kovrad::archive::test
