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
#include <functional>
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

// A signed sale and the request it was made from.
struct StoredSale {
  Record record;
  std::string request;
};

class Ledger {
 public:
  // Makes a new ledger at `path`, for its owner only; refuses when a file
  // is there already.
  static bool Create(const std::string& path, std::string* error);
  // Opens the ledger at `path` for serving: refused when it is missing (a
  // new one would have lost every idempotency key), is not a ledger or
  // cannot be written.
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
  // The sale the device signed with access key `key` ("CFe" and 44 digits).
  std::optional<StoredSale> FindSale(const std::string& key);

  // Runs inside the transaction that records an outcome, for what must be
  // kept with it (the coupon bound for the central database); false undoes
  // both.
  using FinishHook = std::function<bool(sqlite3* db, const Record& record)>;
  void set_finish_hook(FinishHook hook) {
    std::lock_guard lock(mutex_);
    finish_hook_ = std::move(hook);
  }
  // Creates another module's tables in the ledger's database.
  bool AddSchema(const char* sql);

  std::string ActivationCode(const std::string& device);
  bool SetActivationCode(const std::string& device, const std::string& code);

 private:
  explicit Ledger(sqlite3* db) : db_(db) {}
  bool Exec(const char* sql);
  bool IsLedger();
  // Ends the open transaction: committed when `ok`, else rolled back.
  bool Commit(bool ok);
  void LogFailure(const char* what);
  int32_t NextSession(const std::string& device);
  std::vector<Record> Select(const char* sql, int till, const std::string& key);
  bool KeepCoupon(const Record& record);

  std::mutex mutex_;
  sqlite3* db_;
  FinishHook finish_hook_;
  std::unique_ptr<archive::Archive> archive_;  // on `db_`
};

}  // namespace kovrad::hub
