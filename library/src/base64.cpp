// Base64 decoder, the decoded-document buffer and Base64ToAscii.
#include "base64.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "module.h"

namespace kovrad {
namespace {

constexpr uint8_t kSkip = 0x80;

constexpr std::array<uint8_t, 256> MakeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& v : table) v = kSkip;
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(alphabet[i])] = i;
  return table;
}
constexpr std::array<uint8_t, 256> kTable = MakeTable();

// A sale coupon ends with "</CFe>", a cancellation coupon with "</CFeCanc>":
// what the decoder made of the fields after either is cut off.
constexpr std::string_view kCouponEnds[] = {"</CFe>", "</CFeCanc>"};

}  // namespace

size_t DecodificaBase64(const char* text, size_t length, uint8_t* out, size_t capacity) {
  const auto* in = reinterpret_cast<const uint8_t*>(text);
  size_t i = 0, o = 0;
  uint32_t group = 0;
  int count = 0;
  while (i < length) {
    // Fast path: four significant characters in a row at a group boundary.
    if (count == 0 && i + 4 <= length && o + 3 <= capacity) {
      const uint8_t a = kTable[in[i]], b = kTable[in[i + 1]], c = kTable[in[i + 2]],
                    d = kTable[in[i + 3]];
      if (((a | b | c | d) & kSkip) == 0) {
        const uint32_t v = uint32_t{a} << 18 | uint32_t{b} << 12 | uint32_t{c} << 6 | d;
        out[o] = static_cast<uint8_t>(v >> 16);
        out[o + 1] = static_cast<uint8_t>(v >> 8);
        out[o + 2] = static_cast<uint8_t>(v);
        o += 3;
        i += 4;
        continue;
      }
    }
    const uint8_t v = kTable[in[i++]];
    if (v & kSkip) continue;
    group = group << 6 | v;
    if (++count == 4) {
      for (int shift = 16; shift >= 0 && o < capacity; shift -= 8) {
        out[o++] = static_cast<uint8_t>(group >> shift);
      }
      group = 0;
      count = 0;
    }
  }
  // Two or three characters left over: one or two bytes; one alone: nothing.
  if (count >= 2) {
    group <<= 6 * (4 - count);
    for (int k = 0, shift = 16; k < count - 1 && o < capacity; ++k, shift -= 8) {
      out[o++] = static_cast<uint8_t>(group >> shift);
    }
  }
  return o;
}

void DecodificaDocumento(const char* text) {
  auto& document = State().document;
  document.Clear();
  size_t n = DecodificaBase64(text, std::strlen(text), document.data, document.kSize - 1);
  document.Touch(n);
}

}  // namespace kovrad

extern "C" KOVRAD_API char* KOVRAD_CALL Base64ToAscii(void) {
  const kovrad::LibraryLock lock;
  kovrad::Module& m = kovrad::State();
  auto& reply = kovrad::ReplyBuffer();
  auto& document = m.document;
  const size_t length = strnlen(document.text(), document.kSize);
  const std::string_view coupon(document.text(), length);
  size_t keep = length;
  for (std::string_view end : kovrad::kCouponEnds) {
    const size_t at = coupon.find(end);
    if (at != std::string_view::npos) keep = std::min(keep, at + end.size());
  }
  reply.Clear();
  std::memcpy(reply.data, document.data, keep);
  reply.Touch(keep + 1);
  return reply.text();
}
