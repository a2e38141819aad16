#include "ledger.h"

#include <fcntl.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "log.h"
#include "sqlite_statement.h"

namespace kovrad::hub {
namespace {

// Session numbers travel as six digits.
constexpr int32_t kLastSession = 999999;

constexpr char kSchema[] = R"(
CREATE TABLE IF NOT EXISTS sessions(device TEXT PRIMARY KEY, last INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS codes(device TEXT PRIMARY KEY, code TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS opened(id INTEGER PRIMARY KEY, at TEXT NOT NULL);
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

}  // namespace

bool Ledger::Create(const std::string& path, std::string* error) {
  // Made here, empty and for the owner alone, before SQLite writes into it:
  // it will hold the activation codes.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = path + ": " +
             (errno == EEXIST ? std::string("já existe") : std::string(std::strerror(errno)));
    return false;
  }
  close(fd);
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
  if (ok) {
    Ledger ledger(db);
    ok = ledger.Exec("PRAGMA journal_mode=WAL") && ledger.Exec(kSchema);
    if (!ok) *error = path + ": " + sqlite3_errmsg(db);
    db = nullptr;  // closed by `ledger`
  } else {
    *error = path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "sem memória");
  }
  sqlite3_close(db);
  if (!ok) unlink(path.c_str());
  return ok;
}

std::unique_ptr<Ledger> Ledger::Open(const std::string& path, std::string* error) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    *error = path + ": " + std::strerror(errno) +
             "; um registro novo perderia as chaves de idempotência já usadas. Se ele foi "
             "perdido mesmo, crie outro com: kovrad-hub preparar";
    return nullptr;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    *error = path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "sem memória");
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<Ledger> ledger(new Ledger(db));
  sqlite3_busy_timeout(db, 5000);
  if (!ledger->IsLedger()) {
    *error = path + ": não é um registro do kovrad-hub (arquivo trocado?); o hub não o usa";
    return nullptr;
  }
  // Newer tables are added to an older ledger; then one write proves that
  // the outcomes can be recorded before any till is served.
  if (!ledger->Exec("PRAGMA journal_mode=WAL") || !ledger->Exec("PRAGMA synchronous=NORMAL") ||
      !ledger->Exec(kSchema) || !ledger->Exec("BEGIN IMMEDIATE") ||
      !ledger->Exec("INSERT OR REPLACE INTO opened(id, at) VALUES(1, "
                    "strftime('%Y-%m-%dT%H:%M:%f', 'now'))") ||
      !ledger->Exec("COMMIT")) {
    *error = path + ": não pode ser gravado (" + sqlite3_errmsg(db) +
             "); o hub não atende sem registrar";
    return nullptr;
  }
  ledger->archive_ = archive::Archive::Attach(db, error);
  if (!ledger->archive_) {
    *error = path + ": " + *error;
    return nullptr;
  }
  return ledger;
}

bool Ledger::IsLedger() {
  Statement tables(db_,
                   "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'requests'");
  return tables.Step() == SQLITE_ROW && tables.Int(0) == 1;
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

bool Ledger::Commit(bool ok) {
  if (ok && Exec("COMMIT")) return true;
  // A commit refused (a full disk) may leave the transaction open, and
  // every later one would then be refused too.
  if (sqlite3_get_autocommit(db_) == 0) Exec("ROLLBACK");
  return false;
}

void Ledger::LogFailure(const char* what) {
  Log(Level::kError, std::string("registro: ") + what + ": " + sqlite3_errmsg(db_));
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
  return Commit(session > 0) ? session : 0;
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
    if (!ok) LogFailure("requisição não registrada");
    ok = Commit(ok);
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
      ok = update.Step() == SQLITE_DONE && KeepCoupon(record) &&
           (!finish_hook_ || finish_hook_(db_, record));
    }
    ok = Exec(ok ? "COMMIT" : "ROLLBACK") && ok;
  }
  if (!ok) LogFailure("resultado não registrado");
  if (durable) Exec("PRAGMA synchronous=NORMAL");
  return ok;
}

bool Ledger::AddSchema(const char* sql) {
  std::lock_guard lock(mutex_);
  return Exec(sql);
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

std::optional<StoredSale> Ledger::FindSale(const std::string& key) {
  std::lock_guard lock(mutex_);
  // The key is a field of the signed reply: matched with its separators.
  auto found = Select(
      "WHERE function = 'EnviarDadosVenda' AND state = 1 AND instr(reply, '|' || ?2 || '|') > 0"
      " ORDER BY id DESC LIMIT 1",
      -1, key);
  if (found.empty()) return std::nullopt;
  Statement select(db_, "SELECT request FROM requests WHERE id = ?");
  select.Bind(1, found.front().id);
  if (select.Step() != SQLITE_ROW) return std::nullopt;
  return StoredSale{std::move(found.front()), select.Text(0)};
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
