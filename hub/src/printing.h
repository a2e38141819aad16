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

#include "config.h"
#include "http_server.h"

namespace kovrad::hub {

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

// What a print request asks: the till it is made for, and the printer by
// name (empty: the till's own).
struct PrintRequest {
  std::string key;  // the coupon's access key
  std::string xml;  // the archived coupon
  int till = -1;
  std::string printer;
};

// Prints the coupon: the original when it was never printed whole,
// otherwise "SEGUNDA VIA". 200 with {"impresso": true, ...} when printed;
// 503 with the printer's words when it could not print (the coupon stays in
// the archive and can be printed again); 409 when the till has no printer,
// 404 for a printer not configured. The printer's state before and after is
// in "estado_antes" and "estado_depois", in words.
HttpResponse PrintCoupon(const Printers& printers, PrintRecord& record,
                         const PrintRequest& request);

}  // namespace kovrad::hub
