// The hub's chain modules on their own: the status reply read into the
// watched figures, the [central] settings, the outbox and the ledger's
// outcome kept together with it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "config.h"
#include "ledger.h"
#include "outbox.h"
#include "watcher.h"

namespace kovrad::hub {
namespace {

std::string Stamp(std::time_t when, const char* format) {
  std::tm tm{};
  localtime_r(&when, &tm);
  char text[32];
  std::strftime(text, sizeof text, format, &tm);
  return text;
}

std::string Key(int number) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%06d", number);
  return "3526120872321800018659900000000" + std::string(digits) + "1234567";
}

struct StatusLine {
  std::string code = "10000";
  std::string memory_total = "4 GB", memory_used = "64 KB";
  std::string device_time, first_pending = std::string(44, '0'),
                           last_pending = std::string(44, '0');
  std::string last_transmission = std::string(14, '0');
  std::string certificate_expiry = "20301231";
  std::string state = "0";

  std::string Text() const {
    const std::string fields[] = {"000123",
                                  code,
                                  "Resposta com Sucesso",
                                  "0000",
                                  "Sem mensagens",
                                  "900000000",
                                  "DHCP",
                                  "192.168.000.100",
                                  "02:4B:56:00:00:01",
                                  "255.255.255.000",
                                  "192.168.000.001",
                                  "192.168.000.001",
                                  "008.008.008.008",
                                  "CONECTADO",
                                  "ALTO",
                                  memory_total,
                                  memory_used,
                                  device_time,
                                  "01.00.00",
                                  "00.08",
                                  Key(1),
                                  first_pending,
                                  last_pending,
                                  last_transmission,
                                  last_transmission,
                                  "20251208",
                                  certificate_expiry,
                                  state};
    std::string line;
    for (const std::string& f : fields) line += (line.empty() ? "" : "|") + f;
    return line;
  }
};

TEST(HealthTest, ReadsTheWatchedFiguresFromTheStatusReply) {
  const std::time_t now = std::time(nullptr);
  StatusLine s;
  s.device_time = Stamp(now + 90, "%Y%m%d%H%M%S");
  s.last_transmission = Stamp(now + 90 - 5 * 3600, "%Y%m%d%H%M%S");
  s.certificate_expiry = Stamp(now + 12 * 86400, "%Y%m%d");
  s.memory_total = "512 MB";
  s.memory_used = "128 mb";
  s.first_pending = "CFe" + Key(999998);  // the numbers start over past 999999
  s.last_pending = Key(2);
  s.state = "2";
  const auto health = ReadHealth(s.Text(), now);
  ASSERT_TRUE(health);
  EXPECT_EQ(health->clock_drift, 90);
  // Measured on the device's own clock, whatever its drift.
  EXPECT_DOUBLE_EQ(*health->hours_since_transmission, 5);
  EXPECT_EQ(health->certificate_days, 12);
  EXPECT_EQ(health->pending, 4);
  EXPECT_DOUBLE_EQ(*health->memory_used, 0.25);
  EXPECT_EQ(health->operating_state, 2);
}

TEST(HealthTest, LeavesOutWhatTheDeviceDoesNotSay) {
  StatusLine s;
  s.device_time = "garbage";
  s.memory_total = "4 parsecs";
  const auto health = ReadHealth(s.Text(), std::time(nullptr));
  ASSERT_TRUE(health);
  EXPECT_FALSE(health->hours_since_transmission);  // never transmitted
  EXPECT_FALSE(health->clock_drift);
  EXPECT_FALSE(health->memory_used);
  EXPECT_EQ(health->pending, 0);

  s.code = "10001";
  EXPECT_FALSE(ReadHealth(s.Text(), std::time(nullptr)));
  EXPECT_FALSE(ReadHealth("000123|10000|Resposta com Sucesso", std::time(nullptr)));
  EXPECT_FALSE(ReadHealth("", std::time(nullptr)));
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kovrad-chain-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& text) {
    const std::string path = dir_ + "/hub.toml";
    std::ofstream(path) << text;
    return path;
  }
  std::string dir_;
};

using CentralConfigTest = TempDir;

TEST_F(CentralConfigTest, NeedsAConnectionAStoreAndAKnownTlsMode) {
  std::string error;
  auto config = LoadConfig(Write("[central]\nconexao = \"host=db\"\nloja = \"0042\"\n"), &error);
  ASSERT_TRUE(config) << error;
  EXPECT_TRUE(config->central.enabled());
  EXPECT_EQ(config->central.tls, "verify-full");  // never sent in clear unless asked
  EXPECT_FALSE(LoadConfig(Write(""), &error)->central.enabled());

  for (const char* wrong : {"[central]\nloja = \"1\"\n", "[central]\nconexao = \"host=db\"\n",
                            "[central]\nconexao = \"h\"\nloja = \"1\"\ntls = \"prefer\"\n",
                            "[central]\nconexao = \"h\"\nloja = \"1\"\nlote = 0\n",
                            "[central]\nconexao = \"h\"\nloja = \"1\"\ntls_chave = \"k\"\n",
                            "intervalo_status = -1\n"}) {
    error.clear();
    EXPECT_FALSE(LoadConfig(Write(wrong), &error)) << wrong;
    EXPECT_FALSE(error.empty()) << wrong;
  }
}

class OutboxTest : public TempDir {
 protected:
  void SetUp() override {
    TempDir::SetUp();
    std::string error;
    ASSERT_TRUE(Ledger::Create(dir_ + "/hub.db", &error)) << error;
    ledger_ = Ledger::Open(dir_ + "/hub.db", &error);
    ASSERT_TRUE(ledger_) << error;
    ASSERT_TRUE(ledger_->AddSchema(kOutboxSchema));
    outbox_ = Outbox::Open(dir_ + "/hub.db", &error);
    ASSERT_TRUE(outbox_) << error;
  }
  static OutboxEntry Coupon(int number) {
    OutboxEntry e;
    e.access_key = Key(number);
    e.store = "loja";
    e.device = "900000000";
    e.issued_at = "2026-12-08 10:00:00";
    e.document = std::string("<CFe>\0bytes</CFe>", 17);
    return e;
  }
  std::unique_ptr<Ledger> ledger_;
  std::unique_ptr<Outbox> outbox_;
};

TEST_F(OutboxTest, KeepsEachCouponOnceAndShipsInOrder) {
  for (int n : {1, 2, 2, 3}) ASSERT_TRUE(outbox_->Add(Coupon(n)));
  OutboxEntry status = Coupon(0);
  status.kind = Kind::kStatus;
  status.access_key.clear();
  ASSERT_TRUE(outbox_->Add(status));
  ASSERT_TRUE(outbox_->Add(status));  // snapshots have no key to be kept once by
  EXPECT_EQ(outbox_->Backlog(), 5);

  auto batch = outbox_->Next(2);
  ASSERT_EQ(batch.size(), 2u);
  EXPECT_EQ(batch[0].access_key, Key(1));
  EXPECT_EQ(batch[1].access_key, Key(2));
  EXPECT_EQ(batch[0].document, Coupon(1).document);  // bytes kept, NUL included
  ASSERT_TRUE(outbox_->MarkShipped(batch.front().id, batch.back().id));
  batch = outbox_->Next(10);
  ASSERT_EQ(batch.size(), 3u);
  EXPECT_EQ(batch[0].access_key, Key(3));
  ASSERT_TRUE(outbox_->MarkRejected(batch[0].id));
  EXPECT_EQ(outbox_->Backlog(), 2);
  EXPECT_EQ(outbox_->Next(10).front().kind, Kind::kStatus);
}

TEST_F(OutboxTest, AnOutcomeIsRecordedWithItsEntryOrNotAtAll) {
  Record record;
  record.device = "900000000";
  record.till = 1;
  record.function = "EnviarDadosVenda";
  ASSERT_TRUE(ledger_->Begin(&record, "{}", true));
  bool refuse = true;
  ledger_->set_finish_hook(
      [&](sqlite3* db, const Record&) { return !refuse && Enqueue(db, Coupon(7)); });
  record.state = State::kDone;
  record.reply = "reply";
  EXPECT_FALSE(ledger_->Finish(record, true));
  EXPECT_EQ(ledger_->Unfinished().size(), 1u);  // still pending: recovered at the next start
  EXPECT_EQ(outbox_->Backlog(), 0);
  refuse = false;
  EXPECT_TRUE(ledger_->Finish(record, true));
  EXPECT_TRUE(ledger_->Unfinished().empty());
  EXPECT_EQ(outbox_->Backlog(), 1);
}

TEST(CouponEntryTest, OnlyASignedCouponGoesOut) {
  Record record;
  record.state = State::kDone;
  record.reply = "000001|06001|0000|Código de ativação inválido|||";
  EXPECT_FALSE(CouponEntry(record, "loja"));
  record.reply = "000001|06000|0000|Emitido|||not base64|20261208100000|CFe" + Key(1);
  EXPECT_FALSE(CouponEntry(record, "loja"));
  record.state = State::kUncertain;
  EXPECT_FALSE(CouponEntry(record, "loja"));
}

}  // namespace
}  // namespace kovrad::hub
