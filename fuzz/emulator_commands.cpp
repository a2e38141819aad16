// The emulated device on any request text: its request reader and each
// command's payload parser (the sale's compressed document included), from a
// device in the state the first byte picks.
// A request always gets a reply line that starts with its session number.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "device.h"
#include "require.h"

namespace {

// Coupons are signed; one key serves every run (making one takes a while).
std::unique_ptr<satemu::SigningKey> key;

// Bits 0-1: factory, awaiting a certificate or a development kit; bits 2-4:
// the lock.
satemu::DeviceState StateFrom(uint8_t byte) {
  satemu::DeviceState state;
  switch ((byte & 3) % 3) {
    case 1:
      state.activation = satemu::Activation::kAwaitingCertificate;
      state.activation_code = satemu::kKitCode;
      state.taxpayer_cnpj = satemu::kTestTaxpayerCnpj;
      state.state_code = satemu::kTestStateCode;
      break;
    case 2:
      satemu::MakeKit(&state, 1710498600);
      break;
  }
  state.emergency_code = satemu::kDefaultEmergencyCode;
  state.lock = (byte >> 2 & 7) % 5;
  return state;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string error;
  key = satemu::SigningKey::Make("900000000", &error);
  return 0;
}

using kovrad::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return -1;
  satemu::DeviceState state = StateFrom(data[0]);
  satemu::Device device(state, "900000000");
  device.set_signing_key(key.get());
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
