// The shipper: one thread that takes the outbox in order and writes it to
// the chain's central database in batches, marking each batch once the
// central database has committed it. Every entry is sent at least once; an
// entry sent twice (the hub stopped between the two commits) is taken once
// there. While the central database is out of reach the outbox only grows,
// and shipping picks up where it stopped.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "config.h"
#include "outbox.h"

namespace kovrad::hub {

// What the console and /metrics show of shipping.
struct ShippingStatus {
  int64_t backlog = 0;  // entries waiting; -1 while unknown
  uint64_t shipped = 0;
  uint64_t rejected = 0;  // refused by the central database one by one
  bool connected = false;
  std::time_t last_shipped = 0;  // 0: nothing yet in this run
  std::string problem;           // the last failure, Portuguese; empty when none
};

class Shipper {
 public:
  // `ledger_path`: the ledger's database, which holds the outbox.
  Shipper(const CentralConfig& config, std::string ledger_path);
  ~Shipper();
  Shipper(const Shipper&) = delete;
  Shipper& operator=(const Shipper&) = delete;

  // Something was queued: ship without waiting for the next look.
  void Notify();
  ShippingStatus Status() const;
  // Its lines of /metrics.
  std::string RenderMetrics() const;

 private:
  void Run();
  // Up to `ms`, or until stopped; `on_notice`: or until something is queued.
  void Wait(int ms, bool on_notice);
  void Fail(const std::string& problem);

  const CentralConfig config_;
  const std::string ledger_path_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool notified_ = false;
  ShippingStatus status_;
  std::unique_ptr<Outbox> counter_;  // counts the backlog when asked, under `mutex_`
  std::thread thread_;
};

}  // namespace kovrad::hub
