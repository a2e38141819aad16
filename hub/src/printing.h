// A coupon's extrato printed on its till's printer, and a record of every
// print, so that only the first whole print of a coupon is the original and
// every later one comes out marked as a second copy.
#pragma once

#include <sqlite3.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "http_server.h"

namespace kovrad::hub {

// Printer destinations as libkovrad-extrato names them: a device path,
// "tcp:HOST:PORT" or "cups:QUEUE".
struct Printers {
  std::map<int, std::string> tills;  // till number -> printer
  std::string fallback;              // for tills not listed; empty: none

  // Empty when the till has no printer.
  std::string For(int till) const;
};

struct PrintEntry {
  int64_t id = 0;
  std::string key;
  int till = -1;
  std::string printer;
  bool second_copy = false;
  bool printed = false;
  std::string message;  // what the printer said, Portuguese
  std::string when;     // UTC, "AAAA-MM-DD hh:mm:ss"
};

class PrintRecord {
 public:
  // The record's table in the database at `path` (the hub's own), created
  // when missing, on a connection of its own.
  static std::unique_ptr<PrintRecord> Open(const std::string& path, std::string* error);
  ~PrintRecord();
  PrintRecord(const PrintRecord&) = delete;
  PrintRecord& operator=(const PrintRecord&) = delete;

  // Whether the coupon was ever printed whole.
  bool PrintedBefore(const std::string& key);
  bool Note(const PrintEntry& entry);
  // The coupon's prints, the first first.
  std::vector<PrintEntry> For(const std::string& key);

 private:
  explicit PrintRecord(sqlite3* db) : db_(db) {}
  std::mutex mutex_;
  sqlite3* db_;
};

// Prints `xml` (the archived coupon with access key `key`) for `till`:
// the original when it was never printed whole, otherwise "SEGUNDA VIA".
// 200 with {"impresso": true, ...} when printed; 503 with the printer's
// words when it could not print (the coupon stays in the archive and can be
// printed again); 409 when the till has no printer.
HttpResponse PrintCoupon(const Printers& printers, PrintRecord& record, const std::string& key,
                         const std::string& xml, int till);

}  // namespace kovrad::hub
