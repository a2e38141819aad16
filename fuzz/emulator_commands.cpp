// The emulated device on any request text: its request reader and each
// command's payload parser, from a device in the state the first byte picks.
// A request always gets a reply line that starts with its session number.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "device.h"

namespace {

void Require(bool kept, const char* promise) {
  if (kept) return;
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}

// Bits 0-1: factory, awaiting a certificate or active; bits 2-4: the lock.
satemu::DeviceState StateFrom(uint8_t byte) {
  satemu::DeviceState state;
  state.activation = static_cast<satemu::Activation>((byte & 3) % 3);
  if (state.activation != satemu::Activation::kFactory) {
    state.activation_code = "12345678";
    state.taxpayer_cnpj = satemu::kTestTaxpayerCnpj;
    state.state_code = satemu::kTestStateCode;
  }
  state.emergency_code = satemu::kDefaultEmergencyCode;
  state.lock = (byte >> 2 & 7) % 5;
  return state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return -1;
  satemu::DeviceState state = StateFrom(data[0]);
  satemu::Device device(state, "900000000");
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const satemu::Device::Outcome outcome = device.Handle(text);
  Require(outcome.reply.code.size() == 5, "a five-digit result code");
  Require(outcome.reply.line.find('|') != std::string::npos, "a reply line");
  satemu::Request request;
  if (satemu::ParseRequest(text, &request)) {
    char session[16];
    std::snprintf(session, sizeof session, "%06d|", request.session);
    Require(outcome.reply.line.starts_with(session), "the request's session number first");
  }
  return 0;
}
