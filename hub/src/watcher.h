// The watcher: asks each device ConsultarStatusOperacional on a schedule,
// only while no till's call is queued for it or running on it, and keeps
// what matters before it hurts: how long the certificate lasts, how long
// since the last coupon reached the tax authority, how many wait for it,
// the memory used, the lock and the device's clock. /metrics shows them
// and the console asks for them; with a central database each reply goes
// there too, as a status snapshot.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "config.h"
#include "outbox.h"
#include "service.h"

namespace kovrad::hub {

// The figures of one status reply. Those the reply leaves out (a device that
// never transmitted, a field it left empty) have no value.
struct DeviceHealth {
  std::time_t taken = 0;  // the hub's clock when the reply came
  std::string reply;
  std::optional<double> certificate_days;          // until CERT_VENCIMENTO
  std::optional<double> hours_since_transmission;  // since DH_CFE
  std::optional<int64_t> pending;                  // coupons LISTA_INICIAL to LISTA_FINAL
  std::optional<double> memory_used;               // MT_USADA / MT_TOTAL, 0 to 1
  std::optional<int> operating_state;              // ESTADO_OPERACAO: 0 unlocked
  std::optional<double> clock_drift;               // DH_ATUAL less the hub's clock, seconds
};

// Reads a ConsultarStatusOperacional reply line taken at `now` (the hub's
// clock); nothing when the device did not answer with 10000.
std::optional<DeviceHealth> ReadHealth(const std::string& reply, std::time_t now);

class Watcher {
 public:
  // `period`: seconds between the queries of one device (0: none).
  // `outbox`: where the snapshots go; null without a central database.
  Watcher(Service* service, int period, std::string store, std::unique_ptr<Outbox> outbox);
  ~Watcher();
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

  // The last figures of each device (by serial) that ever answered; a
  // device that stops answering keeps its last ones, with their time.
  std::map<std::string, DeviceHealth> Health() const;
  std::string RenderMetrics() const;

 private:
  void Run();
  void Query(const Device& device);

  Service* service_;
  const int period_;
  const std::string store_;
  std::unique_ptr<Outbox> outbox_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::map<std::string, DeviceHealth> health_;
  std::map<std::string, std::time_t> asked_;  // the hub's clock at each device's last query
  std::thread thread_;
};

}  // namespace kovrad::hub
