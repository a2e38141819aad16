// The sale reply: fields, the length of the compressed part and the zlib
// stream, as the device sends it in a well-formed frame. The library expands
// it in place and decodes the coupon; the cancellation decodes its own.
#include <vector>

#include "library_checks.h"

namespace {

constexpr int32_t kSession = 123;

std::vector<uint8_t> Frame(const uint8_t* text, size_t size) {
  std::vector<uint8_t> frame(14 + size, 0);
  frame[0] = 0x01;
  for (int i = 0; i < 4; ++i) frame[9 + i] = static_cast<uint8_t>(size >> (8 * i));
  std::copy(text, text + size, frame.begin() + 13);
  unsigned sum = 0;
  for (size_t i = 1; i + 1 < frame.size(); ++i) sum += frame[i];
  frame.back() = static_cast<uint8_t>(sum);
  return frame;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return kovrad::fuzz::StartLibrary();
}

// The first byte: even for a sale, odd for a cancellation; the rest is the
// reply text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return -1;
  const std::vector<uint8_t> frame = Frame(data + 1, size - 1);
  kovrad::fuzz::PlayPort({.stream = frame});
  const char* reply =
      data[0] % 2 == 0
          ? EnviarDadosVenda(kSession, "12345678", "<CFe><infCFe/></CFe>")
          : CancelarUltimaVenda(kSession, "12345678",
                                "CFe35240308723218000186599000000010000011234567", "<CFeCanc/>");
  kovrad::fuzz::CheckAfterCall(reply, kSession);
  return 0;
}
