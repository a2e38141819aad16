#include "cfe/identifiers.h"

#include <algorithm>

namespace kovrad::cfe {
namespace {

int Digit(char c) {
  return c - '0';
}

// The module-11 check digit of `digits` with weights from `weights` cycling
// 2..`top` from the right: 0 when the rest is below 2.
int Module11(std::string_view digits, int top) {
  int sum = 0, weight = 2;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    sum += Digit(*it) * weight;
    weight = weight == top ? 2 : weight + 1;
  }
  const int rest = sum % 11;
  return rest < 2 ? 0 : 11 - rest;
}

bool AllSame(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [&](char c) { return c == text.front(); });
}

}  // namespace

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ValidCnpj(std::string_view cnpj) {
  if (cnpj.size() != 14 || !AllDigits(cnpj) || AllSame(cnpj)) return false;
  return Module11(cnpj.substr(0, 12), 9) == Digit(cnpj[12]) &&
         Module11(cnpj.substr(0, 13), 9) == Digit(cnpj[13]);
}

bool ValidCpf(std::string_view cpf) {
  if (cpf.size() != 11 || !AllDigits(cpf) || AllSame(cpf)) return false;
  return Module11(cpf.substr(0, 9), 11) == Digit(cpf[9]) &&
         Module11(cpf.substr(0, 10), 11) == Digit(cpf[10]);
}

bool ValidGtin(std::string_view gtin) {
  const size_t n = gtin.size();
  if ((n != 8 && n != 12 && n != 13 && n != 14) || !AllDigits(gtin)) return false;
  int sum = 0;
  for (size_t i = 0; i + 1 < n; ++i) {
    // From the digit next to the check digit leftwards: weights 3, 1, 3, ...
    sum += Digit(gtin[n - 2 - i]) * (i % 2 == 0 ? 3 : 1);
  }
  return (10 - sum % 10) % 10 == Digit(gtin[n - 1]);
}

}  // namespace kovrad::cfe
