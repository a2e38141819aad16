// Counters the hub exposes in the Prometheus text format: calls, errors and
// latency per device and function, recoveries and worker restarts per
// device, refusals per reason; queue depths are read when the page is made.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kovrad::hub {

class Metrics {
 public:
  void Call(const std::string& device, const std::string& function, double seconds, bool error);
  void Recovery(const std::string& device);
  void WorkerRestart(const std::string& device);
  // A request or connection the hub refused before it reached a device, by
  // reason ("autenticacao", "papel", "http", "conexoes", "em_curso", "taxa",
  // "corpo", "json").
  void Refusal(const std::string& reason);

  // More lines, made by another module each time the page is made.
  void AddSection(std::function<std::string()> render);

  // `queues`: device -> requests waiting or running.
  std::string Render(const std::map<std::string, size_t>& queues) const;

 private:
  static constexpr std::array<double, 10> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025,
                                                      0.05,  0.1,    0.5,   2.0,  20.0};
  struct Series {
    uint64_t calls = 0;
    uint64_t errors = 0;
    double seconds = 0;
    std::array<uint64_t, kBuckets.size()> buckets{};
  };
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, Series> series_;
  std::map<std::string, uint64_t> recoveries_;
  std::map<std::string, uint64_t> restarts_;
  std::map<std::string, uint64_t> refusals_;
  std::vector<std::function<std::string()>> sections_;
};

// A label value as the text format wants it: \, " and line breaks escaped.
std::string MetricLabel(const std::string& value);
// The "# HELP" and "# TYPE" lines of a metric.
void MetricHeader(std::string* out, const char* name, const char* type, const char* help);
// A sample value, with up to fifteen significant digits.
std::string MetricNumber(double value);

}  // namespace kovrad::hub
