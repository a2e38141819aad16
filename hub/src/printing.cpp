#include "printing.h"

#include <nlohmann/json.hpp>

#include "log.h"
#include "printer.h"
#include "receipt.h"

namespace kovrad::hub {
namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS prints ("
    " id INTEGER PRIMARY KEY,"
    " key TEXT NOT NULL,"
    " till INTEGER NOT NULL,"
    " printer TEXT NOT NULL,"
    " second_copy INTEGER NOT NULL,"
    " printed INTEGER NOT NULL,"
    " message TEXT NOT NULL,"
    " at TEXT NOT NULL DEFAULT (datetime('now')));"
    "CREATE INDEX IF NOT EXISTS prints_key ON prints (key, printed);";

class Query {
 public:
  Query(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
  ~Query() { sqlite3_finalize(statement_); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  Query& Text(int at, const std::string& text) {
    sqlite3_bind_text(statement_, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Query& Int(int at, int64_t value) {
    sqlite3_bind_int64(statement_, at, value);
    return *this;
  }
  int Step() { return statement_ != nullptr ? sqlite3_step(statement_) : SQLITE_ERROR; }
  int64_t ColumnInt(int at) { return sqlite3_column_int64(statement_, at); }
  std::string ColumnText(int at) {
    const unsigned char* text = sqlite3_column_text(statement_, at);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

bool Render(const std::string& xml, bool second_copy, std::string* bytes, std::string* problem) {
  receipt::Coupon coupon;
  if (!receipt::ReadCoupon(xml, &coupon, problem)) return false;
  receipt::Layout layout = receipt::MakeLayout(coupon);
  if (second_copy) receipt::MarkSecondCopy(&layout);
  return receipt::RenderEscPos(layout, receipt::kPaper80, receipt::Symbols::kPrinter, bytes,
                               problem);
}

}  // namespace

std::string Printers::For(int till) const {
  const auto found = tills.find(till);
  return found != tills.end() ? found->second : fallback;
}

std::unique_ptr<PrintRecord> PrintRecord::Open(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    *error = path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "sem memória");
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<PrintRecord> record(new PrintRecord(db));
  sqlite3_busy_timeout(db, 5000);
  if (sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    *error = path + ": " + sqlite3_errmsg(db);
    return nullptr;
  }
  return record;
}

PrintRecord::~PrintRecord() {
  sqlite3_close(db_);
}

bool PrintRecord::PrintedBefore(const std::string& key) {
  std::lock_guard lock(mutex_);
  return Query(db_, "SELECT 1 FROM prints WHERE key = ? AND printed = 1 LIMIT 1")
             .Text(1, key)
             .Step() == SQLITE_ROW;
}

bool PrintRecord::Note(const PrintEntry& entry) {
  std::lock_guard lock(mutex_);
  const bool noted = Query(db_,
                           "INSERT INTO prints (key, till, printer, second_copy, printed, message)"
                           " VALUES (?, ?, ?, ?, ?, ?)")
                         .Text(1, entry.key)
                         .Int(2, entry.till)
                         .Text(3, entry.printer)
                         .Int(4, entry.second_copy)
                         .Int(5, entry.printed)
                         .Text(6, entry.message)
                         .Step() == SQLITE_DONE;
  if (!noted) Log(Level::kError, std::string("impressões: ") + sqlite3_errmsg(db_));
  return noted;
}

std::vector<PrintEntry> PrintRecord::For(const std::string& key) {
  std::lock_guard lock(mutex_);
  Query select(db_,
               "SELECT id, till, printer, second_copy, printed, message, at FROM prints"
               " WHERE key = ? ORDER BY id");
  select.Text(1, key);
  std::vector<PrintEntry> entries;
  while (select.Step() == SQLITE_ROW) {
    entries.push_back({select.ColumnInt(0), key, static_cast<int>(select.ColumnInt(1)),
                       select.ColumnText(2), select.ColumnInt(3) != 0, select.ColumnInt(4) != 0,
                       select.ColumnText(5), select.ColumnText(6)});
  }
  return entries;
}

HttpResponse PrintCoupon(const Printers& printers, PrintRecord& record, const std::string& key,
                         const std::string& xml, int till) {
  PrintEntry entry;
  entry.key = key;
  entry.till = till;
  entry.printer = printers.For(till);
  if (entry.printer.empty()) {
    return ErrorResponse(409, "Nenhuma impressora configurada para o caixa " +
                                  std::to_string(till) + ": veja [impressoras] na configuração.");
  }
  // A print that failed never counts: the next one is still the original.
  entry.second_copy = record.PrintedBefore(key);
  std::string bytes, problem;
  if (!Render(xml, entry.second_copy, &bytes, &problem)) {
    return ErrorResponse(500, "Extrato não gerado: " + problem);
  }
  const receipt::PrintOutcome outcome = receipt::Print(entry.printer, bytes);
  entry.printed = outcome.printed;
  entry.message = outcome.message;
  record.Note(entry);
  Log(outcome.printed ? Level::kInfo : Level::kWarning,
      "extrato " + key + " no caixa " + std::to_string(till) + ": " + outcome.message);
  const nlohmann::json body{{"chave", key},
                            {"impresso", outcome.printed},
                            {"segunda_via", entry.second_copy},
                            {"impressora", entry.printer},
                            {"mensagem", outcome.message}};
  return {outcome.printed ? 200 : 503, body.dump()};
}

}  // namespace kovrad::hub
