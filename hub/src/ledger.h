// The hub's ledger: every request and its outcome, the session numbers drawn
// for each device and the activation codes the hub keeps, in one SQLite
// database (WAL). A request is written before the device is called and its
// outcome before the till is answered, so a hub that is killed at any moment
// finds on its next start what may have happened on the device. The
// coupons the replies carry are archived in the same database, each in the
// transaction that records its outcome.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace kovrad::hub {

enum class State {
  kPending,    // sent, or about to be sent, to the device
  kDone,       // its outcome is known and recorded
  kUncertain,  // the device could not be asked what it did: recovered later
};

struct Record {
  int64_t id = 0;
  std::string device;
  int till = -1;  // -1: not a till's request
  std::string function;
  int32_t session = 0;
  std::string key;  // idempotency key; empty: none
  State state = State::kPending;
  std::string reply;
  bool recovered = false;  // the outcome came from a session lookup
};

class Ledger {
 public:
  // Opens (creating when needed) the database at `path`.
  static std::unique_ptr<Ledger> Open(const std::string& path, std::string* error);
  ~Ledger();
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;

  // Draws the device's next session number and records the request as
  // pending, in one transaction. `durable`: synced to disk before it
  // returns (sales and cancellations). False when the database refuses.
  bool Begin(Record* record, const std::string& request, bool durable);
  // Records the outcome and archives the coupon its reply carries, in one
  // transaction: false when the database refuses either.
  bool Finish(const Record& record, bool durable);

  // A session number for a call that is not a till's request.
  int32_t DrawSession(const std::string& device);

  std::optional<Record> FindByKey(int till, const std::string& key);
  // Requests whose outcome is not known: pending or uncertain.
  std::vector<Record> Unfinished();
  // The till's last sale or cancellation.
  std::optional<Record> LastFiscal(int till);

  std::string ActivationCode(const std::string& device);
  bool SetActivationCode(const std::string& device, const std::string& code);

 private:
  explicit Ledger(sqlite3* db) : db_(db) {}
  bool Exec(const char* sql);
  int32_t NextSession(const std::string& device);
  std::vector<Record> Select(const char* sql, int till, const std::string& key);
  bool KeepCoupon(const Record& record);

  std::mutex mutex_;
  sqlite3* db_;
  std::unique_ptr<archive::Archive> archive_;  // on `db_`
};

}  // namespace kovrad::hub
