// Messages between the hub and its workers over a socket pair: a message is
// a list of byte strings, sent as their count and then each one as its
// length and bytes (lengths unsigned 32-bit, least significant byte first).
#pragma once

#include <string>
#include <vector>

namespace kovrad::hub {

using Message = std::vector<std::string>;

// Whole messages only: false when the peer is gone or the message is
// malformed. `timeout_ms` < 0 waits without a bound.
bool WriteMessage(int fd, const Message& message);
bool ReadMessage(int fd, Message* message, int timeout_ms = -1);

}  // namespace kovrad::hub
