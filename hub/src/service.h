// What the hub does with a till's call, whichever API it came by: the till's
// device, the ledger entry written before the device is called and the
// outcome written before the answer, idempotency keys, and the recovery at
// start-up of what a previous run left unfinished.
#pragma once

#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config.h"
#include "device.h"
#include "functions.h"
#include "ledger.h"
#include "metrics.h"

namespace kovrad::hub {

struct Outcome {
  int status = 200;      // the HTTP status
  std::string function;  // the export name
  std::string reply;     // the device's reply line, raw bytes (status 200)
  std::string message;   // why not (other statuses), Portuguese
  int32_t session = 0;
  bool recovered = false;  // the reply came from a session lookup
  bool repeated = false;   // answered from the ledger, the device untouched
};

class Service {
 public:
  Service(const Config& config, Ledger* ledger, Metrics* metrics,
          const std::vector<DeviceConfig>& devices, const std::string& program);
  ~Service();

  // Sends what the last run left unfinished to the session lookup; tills'
  // calls queue behind it.
  void RecoverUnfinished();

  Outcome Call(const HubFunction& function, int till, const Fields& fields,
               const std::string& idempotency_key);
  // The till's last sale or cancellation, as the device stored it.
  Outcome LastFiscalSession(int till);
  // The signed sale of that access key, as the ledger holds it.
  std::optional<StoredSale> FindSale(const std::string& key) { return ledger_->FindSale(key); }
  // ConsultarStatusOperacional of one device, for the operator.
  Outcome DeviceStatus(const std::string& serial);

  const std::vector<std::unique_ptr<Device>>& devices() const { return devices_; }
  std::map<std::string, size_t> Queues() const;

 private:
  struct Pending {
    Record record;
    std::future<Result> device;
    std::shared_ptr<std::promise<Result>> recorded;
  };

  Device* Find(const std::string& serial) const;
  Device* ForTill(int till) const;
  std::string CodeFor(const Device& device);
  Outcome Run(Device& device, const HubFunction& function, int till, const Fields& fields,
              const std::string& key);
  Outcome Repeat(Device& device, const Record& found, std::unique_lock<std::mutex>& lock);
  Pending Start(Device& device, const Record& record, Job job);  // `mutex_` held
  // The device's result, recorded; `recorded` false when the ledger refused.
  Result Complete(Pending& pending, bool* recorded = nullptr);

  const Config& config_;
  Ledger* ledger_;
  Metrics* metrics_;
  std::vector<std::unique_ptr<Device>> devices_;
  // Guards the step from an idempotency key to its ledger entry, and the
  // outcomes still being made, which repeats of their key wait for.
  std::mutex mutex_;
  std::map<int64_t, std::shared_future<Result>> in_flight_;
  std::vector<std::thread> recoveries_;
  // The activation code of each device, read from the ledger once.
  std::mutex codes_mutex_;
  std::map<std::string, std::string> codes_;
};

}  // namespace kovrad::hub
