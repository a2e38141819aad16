// A prepared SQLite statement, finalised at the end of the scope.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace kovrad::hub {

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
  void BindBlob(int i, const std::string& bytes) {
    sqlite3_bind_blob(stmt_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  void Bind(int i, int64_t n) { sqlite3_bind_int64(stmt_, i, n); }
  int Step() { return ok() ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  int64_t Int(int i) { return sqlite3_column_int64(stmt_, i); }
  std::string Text(int i) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
    return text != nullptr ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, i)))
                           : std::string();
  }
  std::string Blob(int i) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, i));
    return bytes != nullptr
               ? std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(stmt_, i)))
               : std::string();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace kovrad::hub
