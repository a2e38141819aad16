#include "metrics.h"

#include <cstdio>

namespace kovrad::hub {
std::string MetricLabel(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    out += c == '\n' ? 'n' : c;
  }
  return out;
}

std::string MetricNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

void MetricHeader(std::string* out, const char* name, const char* type, const char* help) {
  *out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void Metrics::AddSection(std::function<std::string()> render) {
  std::lock_guard lock(mutex_);
  sections_.push_back(std::move(render));
}

void Metrics::Call(const std::string& device, const std::string& function, double seconds,
                   bool error) {
  std::lock_guard lock(mutex_);
  Series& s = series_[{device, function}];
  ++s.calls;
  if (error) ++s.errors;
  s.seconds += seconds;
  for (size_t i = 0; i < kBuckets.size(); ++i) {
    if (seconds <= kBuckets[i]) ++s.buckets[i];
  }
}

void Metrics::Recovery(const std::string& device) {
  std::lock_guard lock(mutex_);
  ++recoveries_[device];
}

void Metrics::WorkerRestart(const std::string& device) {
  std::lock_guard lock(mutex_);
  ++restarts_[device];
}

void Metrics::Refusal(const std::string& reason) {
  std::lock_guard lock(mutex_);
  ++refusals_[reason];
}

std::string Metrics::Render(const std::map<std::string, size_t>& queues) const {
  std::lock_guard lock(mutex_);
  std::string out;
  auto labels = [](const std::pair<std::string, std::string>& key) {
    return "dispositivo=\"" + MetricLabel(key.first) + "\",funcao=\"" + MetricLabel(key.second) +
           "\"";
  };
  MetricHeader(&out, "kovrad_hub_chamadas_total", "counter", "Chamadas ao SAT por funcao.");
  for (const auto& [key, s] : series_) {
    out += "kovrad_hub_chamadas_total{" + labels(key) + "} " + std::to_string(s.calls) + "\n";
  }
  MetricHeader(&out, "kovrad_hub_erros_total", "counter",
               "Chamadas sem resposta do SAT ou recusadas pelo hub.");
  for (const auto& [key, s] : series_) {
    out += "kovrad_hub_erros_total{" + labels(key) + "} " + std::to_string(s.errors) + "\n";
  }
  MetricHeader(&out, "kovrad_hub_latencia_segundos", "histogram",
               "Tempo de cada chamada, da chegada a resposta.");
  for (const auto& [key, s] : series_) {
    const std::string base = "kovrad_hub_latencia_segundos";
    for (size_t i = 0; i < kBuckets.size(); ++i) {
      out += base + "_bucket{" + labels(key) + ",le=\"" + MetricNumber(kBuckets[i]) + "\"} " +
             std::to_string(s.buckets[i]) + "\n";
    }
    out += base + "_bucket{" + labels(key) + ",le=\"+Inf\"} " + std::to_string(s.calls) + "\n";
    out += base + "_sum{" + labels(key) + "} " + MetricNumber(s.seconds) + "\n";
    out += base + "_count{" + labels(key) + "} " + std::to_string(s.calls) + "\n";
  }
  MetricHeader(&out, "kovrad_hub_fila", "gauge", "Requisicoes em espera ou em curso por SAT.");
  for (const auto& [device, depth] : queues) {
    out += "kovrad_hub_fila{dispositivo=\"" + MetricLabel(device) + "\"} " + std::to_string(depth) +
           "\n";
  }
  MetricHeader(&out, "kovrad_hub_recuperacoes_total", "counter",
               "Vendas e cancelamentos recuperados por ConsultarNumeroSessao.");
  for (const auto& [device, n] : recoveries_) {
    out += "kovrad_hub_recuperacoes_total{dispositivo=\"" + MetricLabel(device) + "\"} " +
           std::to_string(n) + "\n";
  }
  MetricHeader(&out, "kovrad_hub_reinicios_processo_total", "counter",
               "Processos de dispositivo reiniciados.");
  for (const auto& [device, n] : restarts_) {
    out += "kovrad_hub_reinicios_processo_total{dispositivo=\"" + MetricLabel(device) + "\"} " +
           std::to_string(n) + "\n";
  }
  MetricHeader(&out, "kovrad_hub_recusas_total", "counter",
         "Requisicoes e conexoes recusadas pelo hub antes do SAT, por motivo.");
  for (const auto& [reason, n] : refusals_) {
    out += "kovrad_hub_recusas_total{motivo=\"" + MetricLabel(reason) + "\"} " + std::to_string(n) + "\n";
  }
  for (const auto& section : sections_) out += section();
  return out;
}

}  // namespace kovrad::hub
