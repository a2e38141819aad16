#include "client/text.h"

#include <array>
#include <cstdint>
#include <optional>

namespace kovrad::client {
namespace {

// 0x80-0x9F of Windows-1252. The five unassigned bytes map to the C1 controls
// of the same value, as the system's own conversion does, so they round-trip.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Reads one code point at `i`; false (and `i` past one byte) when the bytes
// there are not a well-formed UTF-8 sequence.
bool NextCodePoint(std::string_view s, size_t& i, char32_t& out) {
  const auto byte = [&s](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t lead = byte(i);
  size_t extra;
  char32_t cp;
  char32_t min;
  if (lead < 0x80) {
    out = lead;
    ++i;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, min = 0x10000;
  } else {
    ++i;
    return false;
  }
  if (i + extra >= s.size()) {
    ++i;
    return false;
  }
  for (size_t k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return false;
  }
  out = cp;
  i += extra + 1;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::optional<char> ToCp1252Byte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (size_t k = 0; k < kHigh.size(); ++k) {
    if (kHigh[k] == cp) return static_cast<char>(0x80 + k);
  }
  return std::nullopt;
}

}  // namespace

std::string ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp;
    out += NextCodePoint(utf8, i, cp) ? ToCp1252Byte(cp).value_or('?') : '?';
  }
  return out;
}

std::string Unencodable(std::string_view utf8) {
  std::string found;
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t start = i;
    char32_t cp;
    if (NextCodePoint(utf8, i, cp) && ToCp1252Byte(cp)) continue;
    std::string character(utf8.substr(start, i - start));
    if (!IsValidUtf8(character)) character = "\uFFFD";
    if (found.find(character) != std::string::npos) continue;
    if (!found.empty()) found += ' ';
    found += character;
  }
  return found;
}

std::string FromCp1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b);
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  char32_t cp;
  while (i < bytes.size()) {
    if (!NextCodePoint(bytes, i, cp)) return false;
  }
  return true;
}

std::string DecodeReply(std::string_view bytes) {
  return IsValidUtf8(bytes) ? std::string(bytes) : FromCp1252(bytes);
}

size_t CharacterCount(std::string_view utf8) {
  size_t count = 0;
  for (char c : utf8) {
    if ((static_cast<uint8_t>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace kovrad::client
