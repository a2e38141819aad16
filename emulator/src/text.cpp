#include "text.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>

namespace satemu {

std::string Base64Encode(std::string_view data) {
  std::string out;
  // EVP_EncodeBlock takes an int count: long inputs go in whole groups of 3.
  constexpr size_t kPiece = 3 * 1024 * 1024;
  for (size_t at = 0; at < data.size(); at += kPiece) {
    const size_t count = std::min(kPiece, data.size() - at);
    const size_t start = out.size();
    out.resize(start + (count + 2) / 3 * 4 + 1);
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data() + start),
                                        reinterpret_cast<const unsigned char*>(data.data() + at),
                                        static_cast<int>(count));
    out.resize(start + static_cast<size_t>(written));
  }
  return out;
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ValidActivationCode(std::string_view code) {
  return code.size() >= 8 && code.size() <= 32 &&
         std::none_of(code.begin(), code.end(), [](char c) {
           const auto byte = static_cast<unsigned char>(c);
           return byte < 0x20 || byte == 0x7F || c == '|';
         });
}

bool ValidCnpj(std::string_view cnpj) {
  if (cnpj.size() != 14 || !AllDigits(cnpj)) return false;
  if (std::all_of(cnpj.begin(), cnpj.end(), [&](char c) { return c == cnpj[0]; })) return false;
  auto check_digit = [&](size_t count) {
    static constexpr int kWeights[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    const int* weights = kWeights + (13 - count);
    int sum = 0;
    for (size_t i = 0; i < count; ++i) sum += (cnpj[i] - '0') * weights[i];
    const int rest = sum % 11;
    return rest < 2 ? 0 : 11 - rest;
  };
  return check_digit(12) == cnpj[12] - '0' && check_digit(13) == cnpj[13] - '0';
}

bool ParseInteger(std::string_view text, long long min, long long max, long long* value) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (!AllDigits(digits) || digits.size() > 18) return false;
  long long v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  if (negative) v = -v;
  if (v < min || v > max) return false;
  *value = v;
  return true;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Format(std::time_t when, const char* format, int years_later = 0) {
  std::tm tm{};
  localtime_r(&when, &tm);
  tm.tm_year += years_later;
  char text[32];
  const size_t n = std::strftime(text, sizeof text, format, &tm);
  return std::string(text, n);
}

}  // namespace

std::string Timestamp(std::time_t when) {
  return Format(when, "%Y%m%d%H%M%S");
}

std::string DateStamp(std::time_t when, int years_later) {
  return Format(when, "%Y%m%d", years_later);
}

std::vector<std::string_view> SplitFields(std::string_view text, size_t max_fields) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < max_fields) {
    const size_t bar = text.find('|');
    if (bar == std::string_view::npos) break;
    fields.push_back(text.substr(0, bar));
    text.remove_prefix(bar + 1);
  }
  fields.push_back(text);
  return fields;
}

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i >= text.size()) return false;
    if (text[i] == '\\') {
      *out += '\\';
    } else if (text[i] == 'n') {
      *out += '\n';
    } else if (text[i] == 'x' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      *out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

std::string Printable(std::string_view text, size_t max_length) {
  std::string out(text.substr(0, max_length));
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '|') c = '?';
  }
  return out;
}

}  // namespace satemu
