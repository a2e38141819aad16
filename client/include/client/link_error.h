// The link errors the library records in COMM_ERROR: their names and the
// fixed text the operator reads for each.
#pragma once

#include <cstdint>

namespace kovrad::manager {

// True for the codes of a failed link (no port, unknown command, time-out,
// no CTS); false for 0 and for anything the library does not define.
bool IsLinkError(int32_t code);

// "__TIMEOUT__" and the like; null for a code that is not a link error.
const char* LinkErrorName(int32_t code);

// The operator's fixed message for a link error; null for any other code.
const char* LinkErrorText(int32_t code);

}  // namespace kovrad::manager
