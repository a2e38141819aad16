#include "printing.h"

#include <nlohmann/json.hpp>

#include "log.h"
#include "printer.h"
#include "receipt.h"
#include "sqlite_statement.h"

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

bool Render(const std::string& xml, bool second_copy, std::string* bytes, std::string* problem) {
  receipt::Coupon coupon;
  if (!receipt::ReadCoupon(xml, &coupon, problem)) return false;
  receipt::Layout layout = receipt::MakeLayout(coupon);
  if (second_copy) receipt::MarkSecondCopy(&layout);
  return receipt::RenderEscPos(layout, receipt::kPaper80, receipt::Symbols::kPrinter, bytes,
                               problem);
}

}  // namespace

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
  Statement select(db_, "SELECT 1 FROM prints WHERE key = ? AND printed = 1 LIMIT 1");
  select.Bind(1, key);
  return select.Step() == SQLITE_ROW;
}

bool PrintRecord::Note(const PrintEntry& entry) {
  std::lock_guard lock(mutex_);
  Statement insert(db_,
                   "INSERT INTO prints (key, till, printer, second_copy, printed, message)"
                   " VALUES (?, ?, ?, ?, ?, ?)");
  insert.Bind(1, entry.key);
  insert.Bind(2, int64_t{entry.till});
  insert.Bind(3, entry.printer);
  insert.Bind(4, int64_t{entry.second_copy});
  insert.Bind(5, int64_t{entry.printed});
  insert.Bind(6, entry.message);
  const bool noted = insert.Step() == SQLITE_DONE;
  if (!noted) Log(Level::kError, std::string("impressões: ") + sqlite3_errmsg(db_));
  return noted;
}

std::vector<PrintEntry> PrintRecord::For(const std::string& key) {
  std::lock_guard lock(mutex_);
  Statement select(db_,
                   "SELECT id, till, printer, second_copy, printed, message, at FROM prints"
                   " WHERE key = ? ORDER BY id");
  select.Bind(1, key);
  std::vector<PrintEntry> entries;
  while (select.Step() == SQLITE_ROW) {
    entries.push_back({select.Int(0), key, static_cast<int>(select.Int(1)), select.Text(2),
                       select.Int(3) != 0, select.Int(4) != 0, select.Text(5), select.Text(6)});
  }
  return entries;
}

HttpResponse PrintCoupon(const Printers& printers, PrintRecord& record,
                         const PrintRequest& request) {
  PrintEntry entry;
  entry.key = request.key;
  entry.till = request.till;
  const std::string name =
      request.printer.empty() ? printers.NameFor(request.till) : request.printer;
  if (name.empty()) {
    return ErrorResponse(409, "Nenhuma impressora configurada para o caixa " +
                                  std::to_string(request.till) +
                                  ": veja [impressoras] e [impressora_padrao] na configuração.");
  }
  const auto found = printers.named.find(name);
  if (found == printers.named.end()) {
    return ErrorResponse(404, "Impressora desconhecida: " + name + " (veja [impressoras]).");
  }
  entry.printer = found->second;
  // A print that failed never counts: the next one is still the original.
  entry.second_copy = record.PrintedBefore(request.key);
  std::string bytes, problem;
  if (!Render(request.xml, entry.second_copy, &bytes, &problem)) {
    return ErrorResponse(500, "Extrato não gerado: " + problem);
  }
  const receipt::PrintOutcome outcome = receipt::Print(entry.printer, bytes);
  entry.printed = outcome.printed;
  entry.message = outcome.message;
  record.Note(entry);
  Log(outcome.printed ? Level::kInfo : Level::kWarning,
      "extrato " + request.key + " no caixa " + std::to_string(request.till) + ", impressora " +
          name + ": " + outcome.message);
  const nlohmann::json body{
      {"chave", request.key},
      {"impresso", outcome.printed},
      {"segunda_via", entry.second_copy},
      {"impressora", name},
      {"estado_antes", receipt::Describe(outcome.before)},
      {"estado_depois", outcome.after.known ? nlohmann::json(receipt::Describe(outcome.after))
                                            : nlohmann::json(nullptr)},
      {"mensagem", outcome.message}};
  return {outcome.printed ? 200 : 503, body.dump()};
}

}  // namespace kovrad::hub
