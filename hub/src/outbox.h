// The outbox: what the hub owes the chain's central database, in a table of
// the ledger's own database. A sale's or cancellation's coupon goes in with
// the transaction that records its outcome, so nothing signed can be left
// out; the shipper reads it through a connection of its own and marks what
// the central database has taken. Selling only ever inserts here.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ledger.h"

namespace kovrad::hub {

enum class Kind { kSale, kCancellation, kStatus };

// The name each kind goes by, in both databases: "venda", "cancelamento", "status".
const char* KindName(Kind kind);

struct OutboxEntry {
  int64_t id = 0;
  Kind kind = Kind::kSale;
  std::string access_key;  // 44 digits; empty for a status snapshot
  std::string store;
  std::string device;  // serial number
  int till = -1;
  std::string issued_at;  // "AAAA-MM-DD hh:mm:ss", the device's time of issue
  std::string cnpj;       // the emitter's
  std::string total;      // vCFe, as signed ("24.90")
  std::string buyer;      // CPF or CNPJ; empty when none
  std::string cancels;    // a cancellation: the key of the sale it cancels
  std::string document;   // the coupon's XML as the device signed it, or the status reply
};

// The outbox's table, created in the ledger's database.
extern const char kOutboxSchema[];

// The entry that a finished sale or cancellation owes the central database;
// nothing when it made no coupon.
std::optional<OutboxEntry> CouponEntry(const Record& record, const std::string& store);

// Adds `entry` on `db` (in the caller's transaction); a coupon already in
// the outbox is not added twice. False when the database refuses.
bool Enqueue(sqlite3* db, const OutboxEntry& entry);

// A connection of its own to the ledger's database, for the shipper and
// the status snapshots.
class Outbox {
 public:
  static std::unique_ptr<Outbox> Open(const std::string& path, std::string* error);
  ~Outbox();
  Outbox(const Outbox&) = delete;
  Outbox& operator=(const Outbox&) = delete;

  // Adds an entry outside any sale (a device's status).
  bool Add(const OutboxEntry& entry);
  // The oldest entries not yet shipped, at most `limit`.
  std::vector<OutboxEntry> Next(int limit);
  // Entries up to `last` as taken by the central database.
  bool MarkShipped(int64_t first, int64_t last);
  // An entry the central database refuses on its own: kept, never sent again.
  bool MarkRejected(int64_t id);
  // Entries not yet shipped; -1 when they cannot be counted.
  int64_t Backlog();

 private:
  explicit Outbox(sqlite3* db) : db_(db) {}
  sqlite3* db_;
};

}  // namespace kovrad::hub
