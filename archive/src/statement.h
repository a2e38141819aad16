// A prepared SQLite statement, finalised at the end of its scope.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace kovrad::archive {

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int i, std::string_view text) {
    sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void BindBlob(int i, std::string_view bytes) {
    sqlite3_bind_blob(stmt_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  void BindOptional(int i, std::string_view text) {
    if (text.empty()) {
      sqlite3_bind_null(stmt_, i);
    } else {
      Bind(i, text);
    }
  }
  void Bind(int i, int64_t n) { sqlite3_bind_int64(stmt_, i, n); }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return stmt_ != nullptr ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  int64_t Int(int i) { return sqlite3_column_int64(stmt_, i); }
  std::string Text(int i) {
    const void* bytes = sqlite3_column_blob(stmt_, i);
    return bytes != nullptr ? std::string(static_cast<const char*>(bytes),
                                          static_cast<size_t>(sqlite3_column_bytes(stmt_, i)))
                            : std::string();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace kovrad::archive
