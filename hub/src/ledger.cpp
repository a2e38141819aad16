#include "ledger.h"

#include <fcntl.h>
#include <openssl/rand.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "log.h"

namespace kovrad::hub {
namespace {

// Session numbers travel as six digits.
constexpr int32_t kLastSession = 999999;

constexpr char kSchema[] = R"(
CREATE TABLE IF NOT EXISTS sessions(device TEXT PRIMARY KEY, last INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS codes(device TEXT PRIMARY KEY, code TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS requests(
  id INTEGER PRIMARY KEY,
  device TEXT NOT NULL,
  till INTEGER NOT NULL,
  function TEXT NOT NULL,
  session INTEGER NOT NULL,
  idempotency_key TEXT,
  request TEXT NOT NULL,
  state INTEGER NOT NULL,
  reply TEXT,
  recovered INTEGER NOT NULL DEFAULT 0,
  received TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%f', 'now')),
  answered TEXT);
CREATE UNIQUE INDEX IF NOT EXISTS requests_key ON requests(till, idempotency_key)
  WHERE idempotency_key IS NOT NULL;
CREATE INDEX IF NOT EXISTS requests_state ON requests(state) WHERE state <> 1;
CREATE INDEX IF NOT EXISTS requests_fiscal ON requests(till, id)
  WHERE function IN ('EnviarDadosVenda', 'CancelarUltimaVenda');
)";

constexpr char kColumns[] =
    "SELECT id, device, till, function, session, coalesce(idempotency_key, ''), state,"
    " coalesce(reply, ''), recovered FROM requests ";

// A prepared statement, finalised at the end of the scope.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return stmt_ != nullptr; }
  void Bind(int i, const std::string& text) {
    sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void BindOptional(int i, const std::string& text) {
    if (text.empty()) {
      sqlite3_bind_null(stmt_, i);
    } else {
      Bind(i, text);
    }
  }
  void Bind(int i, int64_t n) { sqlite3_bind_int64(stmt_, i, n); }
  int Step() { return ok() ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  int64_t Int(int i) { return sqlite3_column_int64(stmt_, i); }
  std::string Text(int i) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
    return text != nullptr ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, i)))
                           : std::string();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

std::unique_ptr<Ledger> Ledger::Open(const std::string& path, std::string* error) {
  // The ledger holds activation codes and the buyers of every coupon: it is
  // made its owner's alone before SQLite opens it.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  close(fd);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    *error = path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "sem memória");
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<Ledger> ledger(new Ledger(db));
  sqlite3_busy_timeout(db, 5000);
  if (!ledger->Exec("PRAGMA journal_mode=WAL") || !ledger->Exec("PRAGMA synchronous=NORMAL") ||
      !ledger->Exec(kSchema)) {
    *error = path + ": " + sqlite3_errmsg(db);
    return nullptr;
  }
  ledger->archive_ = archive::Archive::Attach(db, error);
  if (!ledger->archive_) {
    *error = path + ": " + *error;
    return nullptr;
  }
  return ledger;
}

Ledger::~Ledger() {
  sqlite3_close(db_);
}

bool Ledger::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  Log(Level::kError, std::string("registro: ") + (message != nullptr ? message : sql));
  sqlite3_free(message);
  return false;
}

int32_t Ledger::NextSession(const std::string& device) {
  Statement read(db_, "SELECT last FROM sessions WHERE device = ?");
  read.Bind(1, device);
  int64_t last = 0;
  if (read.Step() == SQLITE_ROW) {
    last = read.Int(0);
  } else {
    // A new ledger starts at a random place, away from the numbers that
    // other programs (and an earlier ledger) have used with this device.
    uint32_t random = 0;
    RAND_bytes(reinterpret_cast<unsigned char*>(&random), sizeof random);
    last = random % kLastSession;
  }
  const int32_t next = static_cast<int32_t>(last % kLastSession + 1);
  Statement write(db_, "INSERT OR REPLACE INTO sessions(device, last) VALUES(?, ?)");
  write.Bind(1, device);
  write.Bind(2, next);
  return write.Step() == SQLITE_DONE ? next : 0;
}

int32_t Ledger::DrawSession(const std::string& device) {
  std::lock_guard lock(mutex_);
  if (!Exec("BEGIN IMMEDIATE")) return 0;
  const int32_t session = NextSession(device);
  return Exec(session > 0 ? "COMMIT" : "ROLLBACK") ? session : 0;
}

bool Ledger::Begin(Record* record, const std::string& request, bool durable) {
  std::lock_guard lock(mutex_);
  if (durable && !Exec("PRAGMA synchronous=FULL")) return false;
  bool ok = Exec("BEGIN IMMEDIATE");
  if (ok) {
    record->session = NextSession(record->device);
    Statement insert(db_,
                     "INSERT INTO requests(device, till, function, session, idempotency_key,"
                     " request, state) VALUES(?, ?, ?, ?, ?, ?, 0)");
    insert.Bind(1, record->device);
    insert.Bind(2, record->till);
    insert.Bind(3, record->function);
    insert.Bind(4, record->session);
    insert.BindOptional(5, record->key);
    insert.Bind(6, request);
    ok = record->session > 0 && insert.Step() == SQLITE_DONE;
    record->id = sqlite3_last_insert_rowid(db_);
    record->state = State::kPending;
    ok = Exec(ok ? "COMMIT" : "ROLLBACK") && ok;
  }
  if (durable) Exec("PRAGMA synchronous=NORMAL");
  return ok;
}

bool Ledger::Finish(const Record& record, bool durable) {
  std::lock_guard lock(mutex_);
  if (durable && !Exec("PRAGMA synchronous=FULL")) return false;
  bool ok = Exec("BEGIN IMMEDIATE");
  if (ok) {
    {
      Statement update(db_,
                       "UPDATE requests SET state = ?, reply = ?, recovered = ?,"
                       " answered = strftime('%Y-%m-%dT%H:%M:%f', 'now') WHERE id = ?");
      update.Bind(1, static_cast<int64_t>(record.state));
      update.Bind(2, record.reply);
      update.Bind(3, record.recovered ? 1 : 0);
      update.Bind(4, record.id);
      ok = update.Step() == SQLITE_DONE && KeepCoupon(record);
    }
    ok = Exec(ok ? "COMMIT" : "ROLLBACK") && ok;
  }
  if (durable) Exec("PRAGMA synchronous=NORMAL");
  return ok;
}

// The coupon of a sale or cancellation into the archive, inside Finish's
// transaction. A coupon the archive refuses stays in the reply recorded
// with it; only a failing database fails the outcome.
bool Ledger::KeepCoupon(const Record& record) {
  std::string xml, error;
  if (record.state != State::kDone || !archive::CouponOfReply(record.reply, &xml)) return true;
  switch (archive_->Put(xml, &error)) {
    case archive::Stored::kNew:
    case archive::Stored::kAlready:
      return true;
    case archive::Stored::kRefused:
      Log(Level::kError, "arquivo de CF-e: requisição " + std::to_string(record.id) + ": " + error +
                             "; o cupom fica no retorno registrado");
      return true;
    case archive::Stored::kFailed:
      break;
  }
  Log(Level::kError, "arquivo de CF-e: " + error);
  return false;
}

std::vector<Record> Ledger::Select(const char* where, int till, const std::string& key) {
  Statement select(db_, (std::string(kColumns) + where).c_str());
  if (till >= 0) select.Bind(1, till);
  if (!key.empty()) select.Bind(2, key);
  std::vector<Record> records;
  while (select.Step() == SQLITE_ROW) {
    Record r;
    r.id = select.Int(0);
    r.device = select.Text(1);
    r.till = static_cast<int>(select.Int(2));
    r.function = select.Text(3);
    r.session = static_cast<int32_t>(select.Int(4));
    r.key = select.Text(5);
    r.state = static_cast<State>(select.Int(6));
    r.reply = select.Text(7);
    r.recovered = select.Int(8) != 0;
    records.push_back(std::move(r));
  }
  return records;
}

std::optional<Record> Ledger::FindByKey(int till, const std::string& key) {
  std::lock_guard lock(mutex_);
  auto found = Select("WHERE till = ?1 AND idempotency_key = ?2", till, key);
  if (found.empty()) return std::nullopt;
  return found.front();
}

std::vector<Record> Ledger::Unfinished() {
  std::lock_guard lock(mutex_);
  return Select("WHERE state <> 1 ORDER BY id", -1, {});
}

std::optional<Record> Ledger::LastFiscal(int till) {
  std::lock_guard lock(mutex_);
  auto found = Select(
      "WHERE till = ?1 AND function IN ('EnviarDadosVenda', 'CancelarUltimaVenda')"
      " ORDER BY id DESC LIMIT 1",
      till, {});
  if (found.empty()) return std::nullopt;
  return found.front();
}

std::string Ledger::ActivationCode(const std::string& device) {
  std::lock_guard lock(mutex_);
  Statement read(db_, "SELECT code FROM codes WHERE device = ?");
  read.Bind(1, device);
  return read.Step() == SQLITE_ROW ? read.Text(0) : std::string();
}

bool Ledger::SetActivationCode(const std::string& device, const std::string& code) {
  std::lock_guard lock(mutex_);
  if (!Exec("PRAGMA synchronous=FULL")) return false;
  Statement write(db_, "INSERT OR REPLACE INTO codes(device, code) VALUES(?, ?)");
  write.Bind(1, device);
  write.Bind(2, code);
  const bool ok = write.Step() == SQLITE_DONE;
  Exec("PRAGMA synchronous=NORMAL");
  return ok;
}

}  // namespace kovrad::hub
