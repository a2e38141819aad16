#include "core/checks.h"

#include <cstring>

namespace kovrad::manager {
namespace {

constexpr size_t kCnpjDigits = 14;
constexpr size_t kMinimumCode = 8;

char CheckDigit(const char* base, const int* weights, size_t count) {
  int sum = 0;
  for (size_t i = 0; i < count; ++i) sum += (base[i] - '0') * weights[i];
  const int r = sum % 11;
  return static_cast<char>('0' + (r < 2 ? 0 : 11 - r));
}

}  // namespace

std::string TooLongMessage(std::string_view field_caption, size_t limit) {
  return "O campo \"" + std::string(field_caption) + "\" aceita no máximo " +
         std::to_string(limit) + " caracteres.";
}

std::string UnencodableMessage(std::string_view field_caption, std::string_view characters) {
  return "O campo \"" + std::string(field_caption) +
         "\" tem caracteres que o SAT não aceita: " + std::string(characters) +
         ". Troque-os e tente de novo.";
}

bool ValidaCNPJ(const char* input, char* digits) {
  char work[kCnpjDigits + 1] = {};
  size_t count = 0;
  for (const char* p = input; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') continue;
    if (count < kCnpjDigits) work[count] = *p;
    ++count;
  }
  if (count != kCnpjDigits) return false;
  std::memcpy(digits, work, sizeof work);

  static constexpr int kFirst[] = {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
  static constexpr int kSecond[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
  char base[kCnpjDigits + 1] = {};
  std::memcpy(base, work, 12);
  base[12] = CheckDigit(base, kFirst, 12);
  base[13] = CheckDigit(base, kSecond, 13);
  return std::memcmp(base, work, kCnpjDigits) == 0;
}

std::optional<std::string> CheckActivationCode(size_t typed_characters, const char* code,
                                               const char* confirmation) {
  if (typed_characters < kMinimumCode) {
    return "Código de ativação deve conter no mínimo 8 caracteres";
  }
  if (std::strcmp(code, confirmation) != 0) {
    return "Código de ativação e de confirmação não são identicos";
  }
  return std::nullopt;
}

std::optional<std::string> CheckNewCode(const char* code, const char* confirmation) {
  if (std::strlen(code) < kMinimumCode) return "Código de ativação deve ter no minimo 8 caracteres";
  if (std::strcmp(code, confirmation) != 0) {
    return "Código de ativação não é igual ao confirmação do código de ativação";
  }
  return std::nullopt;
}

}  // namespace kovrad::manager
