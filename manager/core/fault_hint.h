// The line the operator reads under a fault's fixed message: what most likely
// caused it and what to do next. The fixed texts alone read the same for a
// device unplugged, one that stopped answering and a wrong code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kovrad::manager {

// For a link error code (no port, unknown command, time-out, no CTS);
// nothing for any other code. For a port that did not open, the port is
// looked at now.
std::optional<std::string> LinkFaultHint(int32_t link_code);

// For a device's refusal that names the activation code or an activation
// still to be done; nothing for any other reply.
std::optional<std::string> RefusalHint(std::string_view reply);

// `message` with `hint` on a line of its own below it, when there is one.
std::string WithHint(std::string message, const std::optional<std::string>& hint);

// Why the status query tries again, for the busy banner ("" when it does
// not): `reply` is the one that did not do.
std::string RetryReason(std::string_view reply);

// What the fourth failed status query most likely means, from its reply.
std::string StatusFailureHint(std::string_view reply);

}  // namespace kovrad::manager
