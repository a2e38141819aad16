// The 44-digit access key that names every CF-e: state code (2), year and
// month of issue (4), emitter CNPJ (14), model (2, "59"), device serial (9),
// coupon number (6), random code (6) and a modulo-11 check digit.
#pragma once

#include <string>
#include <string_view>

namespace satemu {

inline constexpr size_t kAccessKeyLength = 44;
inline constexpr char kCouponModel[] = "59";

// The check digit of the 43 digits before it: weights 2 to 9 from the right,
// repeating; 11 less the sum's remainder by 11, and 0 when that is 10 or 11.
int AccessKeyCheckDigit(std::string_view digits);

struct AccessKeyParts {
  std::string_view state_code;  // cUF
  std::string_view year_month;  // AAMM
  std::string_view cnpj;
  std::string_view serial;  // nserieSAT
  int number = 0;           // nCFe
  int code = 0;             // cNF
};

// The whole key; empty when a part has the wrong length or is not digits.
std::string AccessKey(const AccessKeyParts& parts);

}  // namespace satemu
