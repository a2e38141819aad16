// What one client address may hold of the hub at a time: connections,
// requests being answered, and requests per second (a bucket that refills
// at the rate and holds twice it), so that one broken or hostile client
// cannot take the service from the others.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace kovrad::hub {

struct ClientLimitSettings {
  unsigned connections = 512;  // in all
  unsigned connections_per_client = 32;
  unsigned requests_per_client = 16;  // being answered at once
  unsigned rate_per_client = 50;      // requests per second
  unsigned idle_seconds = 30;         // a connection that sends nothing is closed
};

class ClientLimits {
 public:
  enum class Refusal { kNone, kConnections, kInFlight, kRate };
  using Clock = std::chrono::steady_clock;

  explicit ClientLimits(const ClientLimitSettings& settings) : settings_(settings) {}

  // Whether the client may open one more connection; OpenConnection counts
  // it once it is taken.
  bool HasRoom(const std::string& client);
  void OpenConnection(const std::string& client);
  void CloseConnection(const std::string& client);
  // A request starts; kNone: let in, and EndRequest must follow.
  Refusal BeginRequest(const std::string& client, Clock::time_point now = Clock::now());
  void EndRequest(const std::string& client);

 private:
  struct Client {
    unsigned connections = 0;
    unsigned in_flight = 0;
    double tokens = 0;
    Clock::time_point refilled{};
  };
  void Forget(const std::string& client);  // `mutex_` held

  const ClientLimitSettings settings_;
  std::mutex mutex_;
  std::map<std::string, Client> clients_;
};

}  // namespace kovrad::hub
