// A store's hub as one of a chain's: the outbox filled with each sale's
// outcome, the shipper to the central database and the watcher of the
// devices, set up from the configuration and shown in /metrics.
#pragma once

#include <memory>

#include "config.h"
#include "ledger.h"
#include "metrics.h"
#include "service.h"
#include "shipper.h"
#include "watcher.h"

namespace kovrad::hub {

class Chain {
 public:
  // Before the first outcome is recorded (the recovery at start-up
  // included), so that no coupon misses the outbox.
  Chain(const Config& config, Ledger* ledger, Metrics* metrics, Service* service);
  ~Chain();
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;

  // For the console: null when the hub ships nowhere, or watches nothing.
  const Shipper* shipper() const { return shipper_.get(); }
  const Watcher* watcher() const { return watcher_.get(); }

 private:
  Ledger* ledger_;
  std::unique_ptr<Shipper> shipper_;
  std::unique_ptr<Watcher> watcher_;
};

}  // namespace kovrad::hub
