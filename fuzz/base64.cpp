// The Base64 decoder against a plain one-character-at-a-time decoder, at
// every output capacity the input suggests, and Base64ToAscii on the
// document it leaves behind.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base64.h"
#include "library_checks.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::vector<uint8_t> Reference(const uint8_t* text, size_t length) {
  std::vector<uint8_t> out;
  uint32_t group = 0;
  int count = 0;
  for (size_t i = 0; i < length; ++i) {
    const char* at = text[i] != 0 ? std::strchr(kAlphabet, text[i]) : nullptr;
    if (at == nullptr) continue;
    group = group << 6 | static_cast<uint32_t>(at - kAlphabet);
    if (++count == 4) {
      out.insert(out.end(), {static_cast<uint8_t>(group >> 16), static_cast<uint8_t>(group >> 8),
                             static_cast<uint8_t>(group)});
      group = 0;
      count = 0;
    }
  }
  group <<= 6 * (4 - count);
  for (int k = 0; count >= 2 && k < count - 1; ++k) {
    out.push_back(static_cast<uint8_t>(group >> (16 - 8 * k)));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return kovrad::fuzz::StartLibrary();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kovrad::fuzz::Require;
  if (size == 0) return -1;
  const std::vector<uint8_t> expected = Reference(data + 1, size - 1);
  const auto* text = reinterpret_cast<const char*>(data + 1);
  // The first byte picks a capacity, so short ones cut groups anywhere.
  for (size_t capacity : {expected.size(), size_t{data[0]}, expected.size() / 2 + 1}) {
    std::vector<uint8_t> out(capacity);
    const size_t n = kovrad::DecodificaBase64(text, size - 1, out.data(), capacity);
    Require(n == std::min(capacity, expected.size()), "output cut only by its capacity");
    Require(std::equal(out.begin(), out.begin() + static_cast<ptrdiff_t>(n), expected.begin()),
            "the same bytes as a plain decoder");
  }

  // Base64ToAscii hands out the decoded document up to its first zero byte,
  // and up to the end of the sale or cancellation coupon when there is one.
  const std::string line(text, size - 1);
  kovrad::DecodificaDocumento(line.c_str());
  const std::string document = Base64ToAscii();
  const std::vector<uint8_t> decoded =
      Reference(reinterpret_cast<const uint8_t*>(line.c_str()), std::strlen(line.c_str()));
  const std::string whole(decoded.begin(), std::find(decoded.begin(), decoded.end(), 0));
  size_t keep = whole.size();
  for (const std::string_view end : {"</CFe>", "</CFeCanc>"}) {
    const size_t at = whole.find(end);
    if (at != std::string::npos) keep = std::min(keep, at + end.size());
  }
  Require(document == whole.substr(0, keep), "the coupon as decoded");
  return 0;
}
