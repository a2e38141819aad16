// Who may call the hub. With no tokens and no address list configured (only
// possible on a loopback address) everyone on the machine may. Otherwise a
// request presents a bearer token: a till's token speaks for that till and
// opens the sale functions and the queries; an administrator's token opens
// everything, the administrative functions (activation, certificates, code
// change, lock, network, update, logs) only with it. The address list lets
// in till work from tills that have no token, and nothing else.
#pragma once

#include <optional>
#include <string>

#include "config.h"

namespace kovrad::hub {

enum class Role {
  kTill,           // a till's sale or query
  kAdministrator,  // work on the device only the store's administrator does
  kReader,         // the devices' state and the metrics: any token
};

struct Access {
  Role role = Role::kTill;
  // The till the request speaks for; none while it is not known yet (its
  // body is still unread) or for requests that speak for no till.
  std::optional<int> till;
};

struct Verdict {
  int status = 0;  // 0: let in; otherwise 401 or 403
  std::string message;
};

Verdict Authorize(const Config& config, const std::string& client_address,
                  const std::string& authorization, const Access& access);

}  // namespace kovrad::hub
