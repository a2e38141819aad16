#include "access_key.h"

#include <cstdio>

#include "text.h"

namespace satemu {

int AccessKeyCheckDigit(std::string_view digits) {
  int sum = 0, weight = 2;
  for (auto c = digits.rbegin(); c != digits.rend(); ++c) {
    sum += (*c - '0') * weight;
    weight = weight == 9 ? 2 : weight + 1;
  }
  const int digit = 11 - sum % 11;
  return digit >= 10 ? 0 : digit;
}

std::string AccessKey(const AccessKeyParts& parts) {
  if (parts.state_code.size() != 2 || parts.year_month.size() != 4 || parts.cnpj.size() != 14 ||
      parts.serial.size() != 9 || parts.number < 0 || parts.number > 999999 || parts.code < 0 ||
      parts.code > 999999) {
    return {};
  }
  char counters[16];
  std::snprintf(counters, sizeof counters, "%06d%06d", parts.number, parts.code);
  std::string key = std::string(parts.state_code) + std::string(parts.year_month) +
                    std::string(parts.cnpj) + kCouponModel + std::string(parts.serial) + counters;
  if (!AllDigits(key)) return {};
  return key + static_cast<char>('0' + AccessKeyCheckDigit(key));
}

}  // namespace satemu
