#include "client_limits.h"

#include <algorithm>

namespace kovrad::hub {

bool ClientLimits::HasRoom(const std::string& client) {
  std::lock_guard lock(mutex_);
  const auto found = clients_.find(client);
  return found == clients_.end() || found->second.connections < settings_.connections_per_client;
}

void ClientLimits::OpenConnection(const std::string& client) {
  std::lock_guard lock(mutex_);
  ++clients_[client].connections;
}

void ClientLimits::CloseConnection(const std::string& client) {
  std::lock_guard lock(mutex_);
  const auto found = clients_.find(client);
  if (found == clients_.end() || found->second.connections == 0) return;
  --found->second.connections;
  Forget(client);
}

ClientLimits::Refusal ClientLimits::BeginRequest(const std::string& client, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Client& c = clients_[client];
  const double burst = 2.0 * settings_.rate_per_client;
  if (c.refilled == Clock::time_point{}) {
    c.tokens = burst;
  } else {
    const double seconds = std::chrono::duration<double>(now - c.refilled).count();
    c.tokens = std::min(burst, c.tokens + seconds * settings_.rate_per_client);
  }
  c.refilled = now;
  if (c.in_flight >= settings_.requests_per_client) return Refusal::kInFlight;
  if (c.tokens < 1.0) return Refusal::kRate;
  c.tokens -= 1.0;
  ++c.in_flight;
  return Refusal::kNone;
}

void ClientLimits::EndRequest(const std::string& client) {
  std::lock_guard lock(mutex_);
  const auto found = clients_.find(client);
  if (found != clients_.end() && found->second.in_flight > 0) --found->second.in_flight;
}

void ClientLimits::Forget(const std::string& client) {
  // A client with nothing open is forgotten once its bucket would be full
  // again (it refills in two seconds), so the table holds only the clients
  // of the moment.
  const auto found = clients_.find(client);
  if (found == clients_.end() || found->second.connections > 0 || found->second.in_flight > 0) {
    return;
  }
  if (Clock::now() - found->second.refilled >= std::chrono::seconds(2)) clients_.erase(found);
}

}  // namespace kovrad::hub
