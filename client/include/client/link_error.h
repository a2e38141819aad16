// The link error codes the library records in COMM_ERROR (CodigoErro): their
// names and the fixed text an operator reads for each failed link. The texts
// are static UTF-8 strings: never freed, safe from any thread.
#pragma once

#include <cstdint>

namespace kovrad::client {

// True for the codes of a failed link (no port, unknown command, time-out,
// no CTS); false for __NOERROR__ and for anything the library does not define.
bool IsLinkError(int32_t code);

// "__TIMEOUT__" and the like, "__NOERROR__" for 0; null for a code the
// library does not define.
const char* LinkErrorName(int32_t code);

// The operator's fixed message for a failed link; null for any other code,
// __NOERROR__ included (the record's own message is shown then).
const char* LinkErrorText(int32_t code);

}  // namespace kovrad::client
