// Who may call the hub. With neither tokens nor an address list configured
// (only possible on a loopback address) everyone on the machine may; else a
// request needs its till's bearer token, or comes from an address on the
// list (for tills that cannot send a token).
#pragma once

#include <optional>
#include <string>

#include "config.h"

namespace kovrad::hub {

struct Verdict {
  int status = 0;  // 0: let in; otherwise 401 or 403
  std::string message;
};

// `till`: the till the request speaks for; none for requests that name no
// till, which any till's token opens.
Verdict Authorize(const Config& config, const std::string& client_address,
                  const std::string& authorization, std::optional<int> till);

}  // namespace kovrad::hub
