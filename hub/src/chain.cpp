#include "chain.h"

#include "log.h"
#include "outbox.h"

namespace kovrad::hub {

Chain::Chain(const Config& config, Ledger* ledger, Metrics* metrics, Service* service)
    : ledger_(ledger) {
  if (!ledger->AddSchema(kOutboxSchema)) Log(Level::kError, "fila do banco central não criada");
  std::unique_ptr<Outbox> snapshots;
  if (config.central.enabled()) {
    shipper_ = std::make_unique<Shipper>(config.central, config.database);
    ledger->set_finish_hook([store = config.central.store, shipper = shipper_.get()](
                                sqlite3* db, const Record& record) {
      const auto entry = CouponEntry(record, store);
      if (!entry) return true;
      if (!Enqueue(db, *entry)) return false;
      shipper->Notify();
      return true;
    });
    metrics->AddSection([shipper = shipper_.get()] { return shipper->RenderMetrics(); });
    std::string error;
    snapshots = Outbox::Open(config.database, &error);
    if (!snapshots) Log(Level::kError, "fila do banco central: " + error);
  }
  watcher_ = std::make_unique<Watcher>(service, config.status_period, config.central.store,
                                       std::move(snapshots));
  metrics->AddSection([watcher = watcher_.get()] { return watcher->RenderMetrics(); });
}

Chain::~Chain() {
  ledger_->set_finish_hook(nullptr);
}

}  // namespace kovrad::hub
