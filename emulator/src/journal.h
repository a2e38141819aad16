// The journal: every session reply and event log line, appended to an SQLite
// database in WAL mode, so a request costs one small append however long the
// device's history. Each row carries the generation of the state file it goes
// with; rows of a generation the state file never reached are dropped, so
// the two never disagree after a crash.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "history.h"

struct sqlite3;
struct sqlite3_stmt;

namespace satemu {

class Journal {
 public:
  // Opens or creates the journal at `path` (created readable by its owner
  // only, never through a link); null with the reason when it cannot.
  static std::unique_ptr<Journal> Open(const std::string& path, std::string* error);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Removes the rows of generations after `generation`.
  bool DropAfter(uint64_t generation, std::string* error);
  // Reads every row, oldest first, into `history`.
  bool Load(History* history, std::string* error);
  // Appends `entries` in one transaction. `durable`: flushed to disk before
  // it returns, not only safe from a crash of this process.
  bool Append(const std::vector<Entry>& entries, uint64_t generation, bool durable,
              std::string* error);
  bool Empty();
  // Removes rows past what the device remembers and copies the WAL into the
  // database when they have grown: work kept off the request's path, for
  // when a reply has gone out.
  void Tidy();

 private:
  explicit Journal(sqlite3* db) : db_(db) {}
  bool Run(const char* sql, std::string* error);
  bool Prepare(const char* sql, sqlite3_stmt** statement, std::string* error);
  bool Insert(const Entry& entry, uint64_t generation);
  static int OnCommit(void* journal, sqlite3* db, const char* name, int pages);

  sqlite3* db_;
  sqlite3_stmt* insert_session_ = nullptr;
  sqlite3_stmt* insert_event_ = nullptr;
  unsigned appends_ = 0;  // since the last pruning
  int wal_pages_ = 0;
};

}  // namespace satemu
