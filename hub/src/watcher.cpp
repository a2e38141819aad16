#include "watcher.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "log.h"
#include "metrics.h"
#include "client/reply_line.h"

namespace kovrad::hub {
namespace {

// Fields of the status reply, counted from 1 as the standard numbers them.
enum StatusField {
  kResult = 2,
  kMemoryTotal = 16,
  kMemoryUsed = 17,
  kDeviceTime = 18,
  kFirstPending = 22,
  kLastPending = 23,
  kLastTransmission = 24,
  kCertificateExpiry = 27,
  kOperatingState = 28,
};

// How often the watcher looks whether a device is due and idle.
constexpr int kLookMs = 250;

bool AllDigits(std::string_view text, size_t count) {
  if (text.size() != count) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int Number(std::string_view digits) {
  int n = 0;
  for (char c : digits) n = n * 10 + (c - '0');
  return n;
}

// "AAAAMMDD[hhmmss]" as the local clock reads it; nothing for zeros or a
// malformed text.
std::optional<std::time_t> LocalTime(std::string_view text) {
  if (!AllDigits(text, 8) && !AllDigits(text, 14)) return std::nullopt;
  std::tm tm{};
  tm.tm_year = Number(text.substr(0, 4)) - 1900;
  tm.tm_mon = Number(text.substr(4, 2)) - 1;
  tm.tm_mday = Number(text.substr(6, 2));
  if (text.size() == 14) {
    tm.tm_hour = Number(text.substr(8, 2));
    tm.tm_min = Number(text.substr(10, 2));
    tm.tm_sec = Number(text.substr(12, 2));
  }
  if (tm.tm_year < 0 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1) return std::nullopt;
  tm.tm_isdst = -1;
  const std::time_t when = std::mktime(&tm);
  return when == -1 ? std::nullopt : std::optional(when);
}

// "4 GB", "64 KB", "512 MB": bytes; nothing without a known unit.
std::optional<double> Bytes(std::string_view text) {
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end == copy.c_str() || value < 0) return std::nullopt;
  std::string unit;
  for (const char* c = end; *c != '\0'; ++c) {
    if (*c != ' ') unit += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  }
  static constexpr std::pair<std::string_view, double> kUnits[] = {
      {"B", 1},
      {"KB", 1024.0},
      {"MB", 1024.0 * 1024},
      {"GB", 1024.0 * 1024 * 1024},
      {"TB", 1024.0 * 1024 * 1024 * 1024}};
  for (const auto& [name, scale] : kUnits) {
    if (unit == name) return value * scale;
  }
  return std::nullopt;
}

// nCFe of an access key (with or without its "CFe" prefix); 0 for none.
int CouponNumber(std::string_view key) {
  if (key.starts_with("CFe")) key.remove_prefix(3);
  if (!AllDigits(key, 44)) return 0;
  return Number(key.substr(31, 6));
}

}  // namespace

std::optional<DeviceHealth> ReadHealth(const std::string& reply, std::time_t now) {
  const std::vector<std::string> fields = client::SplitFields(reply);
  if (fields.size() < kOperatingState || fields[kResult - 1] != "10000") return std::nullopt;
  const auto field = [&fields](int n) -> const std::string& { return fields[n - 1]; };
  DeviceHealth health;
  health.taken = now;
  health.reply = reply;
  const auto device_now = LocalTime(field(kDeviceTime));
  if (device_now) health.clock_drift = std::difftime(*device_now, now);
  // Days count on the calendar of the hub: a certificate is valid to the
  // end of its day.
  if (const auto expiry = LocalTime(field(kCertificateExpiry))) {
    std::tm today{};
    localtime_r(&now, &today);
    today.tm_hour = today.tm_min = today.tm_sec = 0;
    today.tm_isdst = -1;
    health.certificate_days = std::round(std::difftime(*expiry, std::mktime(&today)) / 86400);
  }
  // Both times come from the device's clock, which may be off.
  if (const auto sent = LocalTime(field(kLastTransmission))) {
    health.hours_since_transmission = std::difftime(device_now.value_or(now), *sent) / 3600;
  }
  const int first = CouponNumber(field(kFirstPending));
  const int last = CouponNumber(field(kLastPending));
  health.pending = first == 0 || last == 0 ? 0 : (last - first + 999999) % 999999 + 1;
  const auto total = Bytes(field(kMemoryTotal));
  const auto used = Bytes(field(kMemoryUsed));
  if (total && used && *total > 0) health.memory_used = *used / *total;
  const std::string& state = field(kOperatingState);
  if (!state.empty() && state[0] >= '0' && state[0] <= '9') health.operating_state = state[0] - '0';
  return health;
}

Watcher::Watcher(Service* service, int period, std::string store, std::unique_ptr<Outbox> outbox)
    : service_(service), period_(period), store_(std::move(store)), outbox_(std::move(outbox)) {
  if (period_ > 0) thread_ = std::thread([this] { Run(); });
}

Watcher::~Watcher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::map<std::string, DeviceHealth> Watcher::Health() const {
  std::lock_guard lock(mutex_);
  return health_;
}

void Watcher::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const std::time_t now = std::time(nullptr);
    for (const auto& device : service_->devices()) {
      if (stopping_) break;
      const auto asked = asked_.find(device->serial());
      const bool due = asked == asked_.end() || now - asked->second >= period_;
      // A till's call queued or running goes first: the query waits for
      // the device to be idle.
      if (!due || device->depth() != 0) continue;
      asked_[device->serial()] = now;
      lock.unlock();
      Query(*device);
      lock.lock();
    }
    wake_.wait_for(lock, std::chrono::milliseconds(kLookMs), [this] { return stopping_; });
  }
}

void Watcher::Query(const Device& device) {
  const Outcome outcome = service_->DeviceStatus(device.serial());
  const auto health =
      outcome.status == 200 ? ReadHealth(outcome.reply, std::time(nullptr)) : std::nullopt;
  if (!health) {
    // The last figures stay: their time shows how old they are.
    Log(Level::kWarning, "SAT " + device.serial() + ": consulta de estado sem resposta válida");
    return;
  }
  if (outbox_) {
    OutboxEntry snapshot;
    snapshot.kind = Kind::kStatus;
    snapshot.store = store_;
    snapshot.device = device.serial();
    char taken[32];
    std::tm tm{};
    localtime_r(&health->taken, &tm);
    std::strftime(taken, sizeof taken, "%Y-%m-%d %H:%M:%S", &tm);
    snapshot.issued_at = taken;
    snapshot.document = outcome.reply;
    if (!outbox_->Add(snapshot)) {
      Log(Level::kWarning,
          "SAT " + device.serial() + ": estado não posto na fila do banco central");
    }
  }
  std::lock_guard lock(mutex_);
  health_[device.serial()] = *health;
}

std::string Watcher::RenderMetrics() const {
  const auto health = Health();
  struct Gauge {
    const char* name;
    const char* help;
    std::optional<double> (*value)(const DeviceHealth&);
  };
  static const Gauge kGauges[] = {
      {"kovrad_sat_certificado_dias", "Dias ate o vencimento do certificado do SAT.",
       [](const DeviceHealth& h) { return h.certificate_days; }},
      {"kovrad_sat_horas_sem_transmissao", "Horas desde o ultimo CF-e transmitido a SEFAZ.",
       [](const DeviceHealth& h) { return h.hours_since_transmission; }},
      {"kovrad_sat_cupons_pendentes", "CF-e no SAT a espera de transmissao a SEFAZ.",
       [](const DeviceHealth& h) {
         return h.pending ? std::optional<double>(static_cast<double>(*h.pending)) : std::nullopt;
       }},
      {"kovrad_sat_memoria_usada", "Fracao da memoria do SAT em uso, de 0 a 1.",
       [](const DeviceHealth& h) { return h.memory_used; }},
      {"kovrad_sat_bloqueado", "1 quando o SAT esta bloqueado (ESTADO_OPERACAO diferente de 0).",
       [](const DeviceHealth& h) {
         return h.operating_state ? std::optional<double>(*h.operating_state != 0 ? 1 : 0)
                                  : std::nullopt;
       }},
      {"kovrad_sat_estado_operacao", "ESTADO_OPERACAO do SAT: 0 desbloqueado, 1 a 4 bloqueios.",
       [](const DeviceHealth& h) {
         return h.operating_state ? std::optional<double>(*h.operating_state) : std::nullopt;
       }},
      {"kovrad_sat_relogio_desvio_segundos", "Relogio do SAT menos o relogio do hub, em segundos.",
       [](const DeviceHealth& h) { return h.clock_drift; }},
      {"kovrad_sat_estado_consultado_segundos",
       "Hora (Unix) da ultima consulta de estado respondida.",
       [](const DeviceHealth& h) { return std::optional<double>(static_cast<double>(h.taken)); }},
  };
  std::string out;
  for (const Gauge& gauge : kGauges) {
    MetricHeader(&out, gauge.name, "gauge", gauge.help);
    for (const auto& [serial, h] : health) {
      if (const auto value = gauge.value(h)) {
        out += std::string(gauge.name) + "{dispositivo=\"" + MetricLabel(serial) + "\"} " +
               MetricNumber(*value) + "\n";
      }
    }
  }
  return out;
}

}  // namespace kovrad::hub
