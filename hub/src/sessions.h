// Session numbers in replies: which calls the hub guards against loss, how
// a reply is matched to its call, and the failure line the hub writes when
// it has no reply of the device.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovrad::hub {

// Sales and cancellations: the calls that must be neither lost nor repeated.
bool IsFiscal(std::string_view function);

// Whether `reply` answers session `session`. The library takes the first
// reply frame that comes: after an exchange cut short, the late reply to it
// can arrive in the next exchange's place.
bool SameSession(std::string_view reply, int32_t session);

// "<session>|9999|<message>", the shape of the library's own failure lines.
std::string FailureLine(int32_t session, std::string_view message);

}  // namespace kovrad::hub
