#include "shipper.h"

#include <algorithm>

#include "central.h"
#include "log.h"
#include "metrics.h"
#include "outbox.h"

namespace kovrad::hub {
namespace {

// How long an idle shipper waits before it looks at the outbox again.
constexpr int kIdleMs = 500;
// Between attempts to reach the central database: doubled up to the last.
constexpr int kFirstRetryMs = 500;
constexpr int kLastRetryMs = 30000;

}  // namespace

Shipper::Shipper(const CentralConfig& config, std::string ledger_path)
    : config_(config), ledger_path_(std::move(ledger_path)) {
  std::string error;
  counter_ = Outbox::Open(ledger_path_, &error);
  thread_ = std::thread([this] { Run(); });
}

Shipper::~Shipper() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Shipper::Notify() {
  {
    std::lock_guard lock(mutex_);
    notified_ = true;
  }
  wake_.notify_one();
}

ShippingStatus Shipper::Status() const {
  std::lock_guard lock(mutex_);
  ShippingStatus status = status_;
  status.backlog = counter_ ? counter_->Backlog() : -1;
  return status;
}

void Shipper::Wait(int ms, bool on_notice) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, std::chrono::milliseconds(ms),
                 [this, on_notice] { return stopping_ || (on_notice && notified_); });
  notified_ = false;
}

void Shipper::Fail(const std::string& problem) {
  std::lock_guard lock(mutex_);
  if (problem != status_.problem) Log(Level::kWarning, "banco central: " + problem);
  status_.problem = problem;
}

void Shipper::Run() {
  std::string error;
  const auto outbox = Outbox::Open(ledger_path_, &error);
  if (!outbox) {
    Fail("fila de envio: " + error);
    return;
  }
  std::unique_ptr<Central> central;
  int retry_ms = kFirstRetryMs;
  const auto backoff = [&](const std::string& problem) {
    Fail(problem);
    // New sales do not cut a pause short: each would be another attempt.
    Wait(retry_ms, false);
    retry_ms = std::min(retry_ms * 2, kLastRetryMs);
  };
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
      status_.connected = central != nullptr;
    }
    if (!central) {
      central = Central::Connect(config_, &error);
      const int version = central ? central->Version(&error) : -1;
      if (version >= 0 && version < LatestCentralVersion()) {
        error = "esquema na versão " + std::to_string(version) +
                ": execute kovrad-hub central preparar";
      }
      if (version < LatestCentralVersion()) {
        central.reset();
        backoff(error);
        continue;
      }
      Log(Level::kNotice, "banco central conectado");
    }
    const std::vector<OutboxEntry> batch = outbox->Next(config_.batch);
    if (batch.empty()) {
      Wait(kIdleMs, true);
      continue;
    }
    if (central->Ship(batch, &error)) {
      // Committed there: should marking it here fail, it is sent again and
      // taken once.
      outbox->MarkShipped(batch.front().id, batch.back().id);
      std::lock_guard lock(mutex_);
      status_.shipped += batch.size();
      status_.last_shipped = std::time(nullptr);
      status_.problem.clear();
      retry_ms = kFirstRetryMs;
      continue;
    }
    if (!central->Healthy() || !central->Refused()) {
      // Down, or refusing everyone for now (rights, space, a missing
      // partition): the same batch again later, nothing set aside.
      if (!central->Healthy()) central.reset();
      backoff(error);
      continue;
    }
    // The server is there and refused the batch: one by one, so that an
    // entry it cannot take holds up none of the others.
    Log(Level::kWarning, "banco central recusou um lote: " + error + "; enviando um a um");
    bool stopped = false;
    for (const OutboxEntry& entry : batch) {
      if (central->Ship({entry}, &error)) {
        outbox->MarkShipped(entry.id, entry.id);
        std::lock_guard lock(mutex_);
        ++status_.shipped;
      } else if (central->Healthy() && central->Refused()) {
        Log(Level::kError, "banco central recusou " + std::string(KindName(entry.kind)) + " " +
                               entry.access_key + ": " + error + "; mantido no hub");
        outbox->MarkRejected(entry.id);
        std::lock_guard lock(mutex_);
        ++status_.rejected;
      } else {
        stopped = true;
        break;
      }
    }
    if (stopped) {
      if (!central->Healthy()) central.reset();
      backoff(error);
    }
  }
}

std::string Shipper::RenderMetrics() const {
  const ShippingStatus s = Status();
  std::string out;
  MetricHeader(&out, "kovrad_hub_central_pendentes", "gauge",
               "Cupons e estados na fila de envio ao banco central.");
  out += "kovrad_hub_central_pendentes " + std::to_string(s.backlog) + "\n";
  MetricHeader(&out, "kovrad_hub_central_enviados_total", "counter",
               "Cupons e estados enviados ao banco central nesta execucao.");
  out += "kovrad_hub_central_enviados_total " + std::to_string(s.shipped) + "\n";
  MetricHeader(&out, "kovrad_hub_central_recusados_total", "counter",
               "Entradas que o banco central recusou; ficam no hub.");
  out += "kovrad_hub_central_recusados_total " + std::to_string(s.rejected) + "\n";
  MetricHeader(&out, "kovrad_hub_central_conectado", "gauge",
               "1 quando o hub esta conectado ao banco central.");
  out += "kovrad_hub_central_conectado " + std::string(s.connected ? "1" : "0") + "\n";
  MetricHeader(&out, "kovrad_hub_central_ultimo_envio_segundos", "gauge",
               "Hora (Unix) do ultimo lote aceito pelo banco central; 0: nenhum nesta execucao.");
  out += "kovrad_hub_central_ultimo_envio_segundos " + std::to_string(s.last_shipped) + "\n";
  return out;
}

}  // namespace kovrad::hub
