// The whole reply wait fed from a byte stream: one SAT function or discovery
// export, chosen by the first byte, receives whatever the rest of the input
// makes the port deliver, at whatever pace.
#include <cstddef>
#include <cstdint>

#include "library_checks.h"
#include "sat_functions.h"

namespace {

constexpr int32_t kSession = 4242;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return kovrad::fuzz::StartLibrary();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kovrad::test::kSatFunctions;
  std::span<const uint8_t> selector;
  if (!kovrad::fuzz::PlayPortFrom({data, size}, 1, &selector)) return -1;
  constexpr size_t kFunctions = std::size(kSatFunctions);
  const size_t which = selector[0] % (kFunctions + 2);
  if (which < kFunctions) {
    kovrad::fuzz::CheckAfterCall(kSatFunctions[which].call(kSession), kSession);
    return 0;
  }
  // Discovery asks for the status and reads the serial number out of it.
  const char* port = which == kFunctions ? GetPortaSAT("900000000", kSession, "12345678")
                                         : GetMapaPortasSAT("12345678");
  kovrad::fuzz::RequirePortClosed();
  kovrad::fuzz::Require(port != nullptr, "the device's port or map");
  const size_t room = which == kFunctions ? kovrad::kReplyBufferSize : kovrad::kPortMapSize;
  kovrad::fuzz::Require(strnlen(port, room) < room, "port text ends in its buffer");
  AbreSerialSAT(0, 0, 0, 0, 0);
  return 0;
}
