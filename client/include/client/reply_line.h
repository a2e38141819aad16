// The device's reply lines: "|"-separated fields, the first the session
// number and the second the result code; the rule that says whether a line
// answers a given session; and the failure line written in its place when a
// caller has no reply of the device to give. For the fields read into typed
// structs, see client/replies.h.
//
// Views returned here point into the line passed in: keep the line alive as
// long as the view. Nothing here throws or keeps state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovrad::client {

// Field `n` of a reply line, counting from 1; empty when there is no such field.
std::string_view ReplyField(std::string_view reply, int n);

// The device's result code: the second field ("06000"), or "9999" in the
// library's own failure line.
inline std::string_view ResultCodeOf(std::string_view reply) {
  return ReplyField(reply, 2);
}

// The reply's fields, empty ones kept; none for a text without a "|" (the
// library's own failure text when the port cannot be opened).
std::vector<std::string> SplitFields(std::string_view reply);

// Whether `field` is the session number `session`, read as a number: the
// device writes six digits ("000012"), other writers need not.
bool IsSession(std::string_view field, int32_t session);

// Whether `reply` answers session `session`. The library takes the first
// reply frame that comes: after an exchange cut short, the late reply to it
// can arrive in the next exchange's place.
bool SameSession(std::string_view reply, int32_t session);

// "<session>|9999|<message>", the shape of the library's own failure lines.
std::string FailureLine(int32_t session, std::string_view message);

}  // namespace kovrad::client
