// What a SAT device does with sale payloads, for the tests and benchmarks:
// zlib at level 2, Base64, little-endian lengths and the sale reply layout.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace kovrad::test {

inline std::string Le32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// The zlib stream compress2 makes at `level`.
inline std::string Deflate(std::string_view text, int level = 2) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()), level);
  out.resize(size);
  return out;
}

// The expansion of a complete zlib stream; `ok` is false when it is not one.
inline std::string Inflate(std::string_view stream, size_t expected_size, bool* ok) {
  std::string out(expected_size + 1, '\0');
  uLongf size = static_cast<uLongf>(out.size());
  *ok = uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                   reinterpret_cast<const Bytef*>(stream.data()),
                   static_cast<uLong>(stream.size())) == Z_OK;
  out.resize(size);
  return out;
}

inline std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = uint32_t{static_cast<uint8_t>(bytes[i])} << 16 |
                       uint32_t{static_cast<uint8_t>(bytes[i + 1])} << 8 |
                       static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const uint32_t v = uint32_t{static_cast<uint8_t>(bytes[i])} << 16 |
                       (two ? uint32_t{static_cast<uint8_t>(bytes[i + 1])} << 8 : 0);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += two ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// A sale reply: the six text fields (each ended by "|"), the length of the
// compressed part and the part itself.
inline std::string SaleReply(std::string_view fields, std::string_view stream) {
  std::string reply(fields);
  reply += Le32(static_cast<uint32_t>(stream.size()));
  reply += stream;
  return reply;
}

// Deterministic pseudo-random bytes, so a failing case can be rerun as is.
class Lcg {
 public:
  explicit Lcg(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

 private:
  uint32_t state_;
};

// `length` characters drawn from `alphabet`.
inline std::string RandomText(size_t length, std::string_view alphabet, uint32_t seed) {
  Lcg lcg(seed);
  std::string text(length, '\0');
  for (char& c : text) c = alphabet[lcg.Next() % alphabet.size()];
  return text;
}

// `length` bytes from 1 to 255: a text that zlib cannot shrink.
inline std::string IncompressibleText(size_t length, uint32_t seed) {
  Lcg lcg(seed);
  std::string text(length, '\0');
  for (char& c : text) c = static_cast<char>(1 + lcg.Next() % 255);
  return text;
}

}  // namespace kovrad::test
