// Reply frame decoding: any bytes in the receive buffer, zeros behind them
// as the exchange leaves it, unwrapped into a reply buffer of exactly the
// size the library promises to stay within.
#include <algorithm>
#include <cstring>
#include <vector>

#include "exchange.h"
#include "library_checks.h"

namespace {

uint8_t reply_text[kovrad::kReplyTextMax];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kovrad::fuzz::Require;
  std::vector<uint8_t> frame(std::max(size, kovrad::kReplyHeader + 1), 0);
  std::memcpy(frame.data(), data, size);
  const size_t n = kovrad::DecodificaPacote(frame.data(), frame.size(), reply_text);
  if (frame[0] != 0x01) {
    Require(n == 0, "no text outside a data frame");
    return 0;
  }
  const size_t announced = kovrad::ReadLe32(frame.data() + 9);
  Require(n == std::min({announced, kovrad::kReplyTextMax, frame.size() - kovrad::kReplyHeader}),
          "the announced length, cut to what the buffers hold");
  Require(std::memcmp(reply_text, frame.data() + kovrad::kReplyHeader, n) == 0,
          "the text as it came");
  return 0;
}
