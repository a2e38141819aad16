#include "outbox.h"

#include "coupon.h"
#include "log.h"
#include "client/recovery.h"
#include "client/reply_line.h"
#include "sqlite_statement.h"

namespace kovrad::hub {

const char kOutboxSchema[] = R"(
CREATE TABLE IF NOT EXISTS outbox(
  id INTEGER PRIMARY KEY,
  kind TEXT NOT NULL,
  access_key TEXT,
  store TEXT NOT NULL,
  device TEXT NOT NULL,
  till INTEGER NOT NULL,
  issued_at TEXT NOT NULL,
  cnpj TEXT NOT NULL,
  total TEXT NOT NULL,
  buyer TEXT NOT NULL,
  cancels TEXT NOT NULL,
  queued TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%f', 'now')),
  shipped INTEGER NOT NULL DEFAULT 0);
-- Apart, so that marking a batch shipped rewrites small rows only.
CREATE TABLE IF NOT EXISTS outbox_documents(
  id INTEGER PRIMARY KEY REFERENCES outbox(id),
  document BLOB NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS outbox_key ON outbox(access_key) WHERE access_key IS NOT NULL;
CREATE INDEX IF NOT EXISTS outbox_waiting ON outbox(id) WHERE shipped = 0;
)";

namespace {

constexpr char kColumns[] =
    "SELECT id, kind, coalesce(access_key, ''), store, device, till, issued_at, cnpj, total, buyer,"
    " cancels, document FROM outbox JOIN outbox_documents USING (id) ";

// "AAAAMMDD" and "hhmmss" as one time stamp; empty when either is malformed.
std::string IssueTime(const std::string& date, const std::string& time) {
  if (date.size() != 8 || time.size() != 6) return {};
  return date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2) + " " +
         time.substr(0, 2) + ":" + time.substr(2, 2) + ":" + time.substr(4, 2);
}

}  // namespace

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kSale:
      return "venda";
    case Kind::kCancellation:
      return "cancelamento";
    case Kind::kStatus:
      return "status";
  }
  return "";
}

std::optional<OutboxEntry> CouponEntry(const Record& record, const std::string& store) {
  if (record.state != State::kDone) return std::nullopt;
  const std::vector<std::string> fields = client::SplitFields(record.reply);
  if (fields.size() < 2 || (fields[1] != "06000" && fields[1] != "07000")) return std::nullopt;
  OutboxEntry entry;
  entry.document = client::CouponOf(record.reply);
  receipt::Coupon coupon;
  std::string problem;
  if (entry.document.empty() || !receipt::ReadCoupon(entry.document, &coupon, &problem)) {
    // Signed but unreadable: the ledger keeps the reply; say so loudly
    // rather than ship a row the central database could not index.
    Log(Level::kError, "SAT " + record.device + ": cupom da requisição " +
                           std::to_string(record.id) +
                           " ilegível, não vai ao banco central: " + problem);
    return std::nullopt;
  }
  entry.kind = coupon.cancellation ? Kind::kCancellation : Kind::kSale;
  entry.access_key = coupon.key;
  entry.store = store;
  entry.device = record.device;
  entry.till = record.till;
  entry.issued_at = IssueTime(coupon.date, coupon.time);
  entry.cnpj = coupon.issuer.cnpj;
  entry.total = coupon.total;
  entry.buyer = coupon.buyer;
  entry.cancels = coupon.cancelled_key;
  if (entry.issued_at.empty()) {
    Log(Level::kError, "SAT " + record.device + ": cupom " + coupon.key +
                           " sem data de emissão legível, não vai ao banco central");
    return std::nullopt;
  }
  return entry;
}

bool Enqueue(sqlite3* db, const OutboxEntry& entry) {
  Statement insert(db,
                   "INSERT OR IGNORE INTO outbox(kind, access_key, store, device, till, issued_at,"
                   " cnpj, total, buyer, cancels) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  insert.Bind(1, std::string(KindName(entry.kind)));
  insert.BindOptional(2, entry.access_key);
  insert.Bind(3, entry.store);
  insert.Bind(4, entry.device);
  insert.Bind(5, int64_t{entry.till});
  insert.Bind(6, entry.issued_at);
  insert.Bind(7, entry.cnpj);
  insert.Bind(8, entry.total);
  insert.Bind(9, entry.buyer);
  insert.Bind(10, entry.cancels);
  if (insert.Step() != SQLITE_DONE) return false;
  if (sqlite3_changes(db) == 0) return true;  // that coupon is in already
  Statement document(db, "INSERT INTO outbox_documents(id, document) VALUES(?, ?)");
  document.Bind(1, int64_t{sqlite3_last_insert_rowid(db)});
  document.BindBlob(2, entry.document);
  return document.Step() == SQLITE_DONE;
}

std::unique_ptr<Outbox> Outbox::Open(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    *error = path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "sem memória");
    sqlite3_close(db);
    return nullptr;
  }
  // Sales write to the same file: the shipper waits its turn behind them.
  sqlite3_busy_timeout(db, 10000);
  return std::unique_ptr<Outbox>(new Outbox(db));
}

Outbox::~Outbox() {
  sqlite3_close(db_);
}

bool Outbox::Add(const OutboxEntry& entry) {
  if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  const bool ok = Enqueue(db_, entry);
  return sqlite3_exec(db_, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK &&
         ok;
}

std::vector<OutboxEntry> Outbox::Next(int limit) {
  Statement select(db_, (std::string(kColumns) + "WHERE shipped = 0 ORDER BY id LIMIT ?").c_str());
  select.Bind(1, int64_t{limit});
  std::vector<OutboxEntry> entries;
  while (select.Step() == SQLITE_ROW) {
    OutboxEntry e;
    e.id = select.Int(0);
    const std::string kind = select.Text(1);
    e.kind = kind == "status"         ? Kind::kStatus
             : kind == "cancelamento" ? Kind::kCancellation
                                      : Kind::kSale;
    e.access_key = select.Text(2);
    e.store = select.Text(3);
    e.device = select.Text(4);
    e.till = static_cast<int>(select.Int(5));
    e.issued_at = select.Text(6);
    e.cnpj = select.Text(7);
    e.total = select.Text(8);
    e.buyer = select.Text(9);
    e.cancels = select.Text(10);
    e.document = select.Blob(11);
    entries.push_back(std::move(e));
  }
  return entries;
}

bool Outbox::MarkShipped(int64_t first, int64_t last) {
  Statement update(db_, "UPDATE outbox SET shipped = 1 WHERE shipped = 0 AND id BETWEEN ? AND ?");
  update.Bind(1, first);
  update.Bind(2, last);
  return update.Step() == SQLITE_DONE;
}

bool Outbox::MarkRejected(int64_t id) {
  Statement update(db_, "UPDATE outbox SET shipped = 2 WHERE id = ?");
  update.Bind(1, id);
  return update.Step() == SQLITE_DONE;
}

int64_t Outbox::Backlog() {
  Statement count(db_, "SELECT count(*) FROM outbox WHERE shipped = 0");
  return count.Step() == SQLITE_ROW ? count.Int(0) : -1;
}

}  // namespace kovrad::hub
