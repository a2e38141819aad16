#include "journal.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace satemu {
namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS sessions(id INTEGER PRIMARY KEY, generation INTEGER NOT NULL,"
    " session INTEGER NOT NULL, reply BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS events(id INTEGER PRIMARY KEY, generation INTEGER NOT NULL,"
    " record TEXT NOT NULL);";
// Old rows beyond what the device remembers are removed this often.
constexpr unsigned kPruneEvery = 64;
// The WAL is copied into the database past this many pages (SQLite's own
// default, done here instead of inside a request's commit).
constexpr int kCheckpointPages = 1000;
// Reused session numbers leave earlier rows behind: keep a margin of them.
constexpr size_t kSessionRowsKept = 2 * kSessionsKept;

// The file itself is made here, so that it is the owner's alone from the
// start (SQLite gives its WAL the same permissions).
bool CreatePrivate(const std::string& path, std::string* error) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  close(fd);
  return true;
}

}  // namespace

std::unique_ptr<Journal> Journal::Open(const std::string& path, std::string* error) {
  if (!CreatePrivate(path, error)) return nullptr;
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
  std::unique_ptr<Journal> journal(new Journal(db));
  if (rc != SQLITE_OK) {
    *error = path + ": " + (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    return nullptr;
  }
  // A crash of the process never loses a committed row; a power cut may
  // lose the last ones unless they were appended as durable.
  if (!journal->Run("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                    " PRAGMA wal_autocheckpoint=0;",
                    error) ||
      !journal->Run(kSchema, error) ||
      !journal->Prepare("INSERT INTO sessions(generation, session, reply) VALUES(?, ?, ?)",
                        &journal->insert_session_, error) ||
      !journal->Prepare("INSERT INTO events(generation, record) VALUES(?, ?)",
                        &journal->insert_event_, error)) {
    *error = path + ": " + *error;
    return nullptr;
  }
  // After the pragma, which would replace it.
  sqlite3_wal_hook(db, &Journal::OnCommit, journal.get());
  return journal;
}

Journal::~Journal() {
  sqlite3_finalize(insert_session_);
  sqlite3_finalize(insert_event_);
  sqlite3_close(db_);
}

bool Journal::Run(const char* sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  *error = message != nullptr ? message : sqlite3_errmsg(db_);
  sqlite3_free(message);
  return false;
}

bool Journal::Prepare(const char* sql, sqlite3_stmt** statement, std::string* error) {
  if (sqlite3_prepare_v2(db_, sql, -1, statement, nullptr) == SQLITE_OK) return true;
  *error = sqlite3_errmsg(db_);
  return false;
}

bool Journal::DropAfter(uint64_t generation, std::string* error) {
  sqlite3_stmt* statements[2] = {};
  bool done = Prepare("DELETE FROM sessions WHERE generation > ?", &statements[0], error) &&
              Prepare("DELETE FROM events WHERE generation > ?", &statements[1], error);
  for (sqlite3_stmt* statement : statements) {
    if (done) {
      sqlite3_bind_int64(statement, 1, static_cast<sqlite3_int64>(generation));
      done = sqlite3_step(statement) == SQLITE_DONE;
      if (!done) *error = sqlite3_errmsg(db_);
    }
    sqlite3_finalize(statement);
  }
  return done;
}

bool Journal::Load(History* history, std::string* error) {
  sqlite3_stmt* statement = nullptr;
  if (!Prepare("SELECT 0, session, reply, id FROM sessions UNION ALL"
               " SELECT 1, 0, record, id FROM events ORDER BY 1, 4",
               &statement, error)) {
    return false;
  }
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 2));
    std::string text(bytes != nullptr ? bytes : "",
                     static_cast<size_t>(sqlite3_column_bytes(statement, 2)));
    const bool session = sqlite3_column_int(statement, 0) == 0;
    history->Add({session ? Entry::Kind::kSession : Entry::Kind::kEvent,
                  static_cast<int32_t>(sqlite3_column_int64(statement, 1)), std::move(text)});
  }
  if (rc != SQLITE_DONE) *error = sqlite3_errmsg(db_);
  sqlite3_finalize(statement);
  return rc == SQLITE_DONE;
}

bool Journal::Empty() {
  sqlite3_stmt* statement = nullptr;
  std::string error;
  if (!Prepare("SELECT EXISTS(SELECT 1 FROM sessions) OR EXISTS(SELECT 1 FROM events)", &statement,
               &error)) {
    return false;
  }
  const bool empty = sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_int(statement, 0) == 0;
  sqlite3_finalize(statement);
  return empty;
}

bool Journal::Insert(const Entry& entry, uint64_t generation) {
  const bool session = entry.kind == Entry::Kind::kSession;
  sqlite3_stmt* statement = session ? insert_session_ : insert_event_;
  sqlite3_reset(statement);
  int column = 1;
  sqlite3_bind_int64(statement, column++, static_cast<sqlite3_int64>(generation));
  if (session) sqlite3_bind_int64(statement, column++, entry.session);
  sqlite3_bind_blob64(statement, column, entry.text.data(), entry.text.size(), SQLITE_STATIC);
  const bool done = sqlite3_step(statement) == SQLITE_DONE;
  sqlite3_clear_bindings(statement);
  return done;
}

int Journal::OnCommit(void* journal, sqlite3*, const char*, int pages) {
  static_cast<Journal*>(journal)->wal_pages_ = pages;
  return SQLITE_OK;
}

void Journal::Tidy() {
  std::string ignored;
  if (appends_ >= kPruneEvery) {
    appends_ = 0;
    const std::string sql = "DELETE FROM sessions WHERE id <= (SELECT max(id) FROM sessions) - " +
                            std::to_string(kSessionRowsKept) +
                            "; DELETE FROM events WHERE id <= (SELECT max(id) FROM events) - " +
                            std::to_string(kEventsKept) + ";";
    Run(sql.c_str(), &ignored);
  }
  if (wal_pages_ >= kCheckpointPages) {
    wal_pages_ = 0;
    sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  }
}

bool Journal::Append(const std::vector<Entry>& entries, uint64_t generation, bool durable,
                     std::string* error) {
  if (entries.empty()) return true;
  if (!Run(durable ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL", error) ||
      !Run("BEGIN", error)) {
    return false;
  }
  bool done = true;
  for (const Entry& entry : entries) {
    done = done && Insert(entry, generation);
  }
  ++appends_;
  if (!done) *error = sqlite3_errmsg(db_);
  if (done && Run("COMMIT", error)) return true;
  std::string ignored;
  Run("ROLLBACK", &ignored);
  return false;
}

}  // namespace satemu
