// Check digits of the identifiers a sale carries.
#pragma once

#include <string_view>

namespace kovrad::cfe {

bool AllDigits(std::string_view text);
// 14 digits, the two last the module-11 check digits of the first twelve.
bool ValidCnpj(std::string_view cnpj);
// 11 digits, the two last check digits, and not one digit repeated.
bool ValidCpf(std::string_view cpf);
// GTIN-8, 12, 13 or 14: the last digit the module-10 check of the others.
bool ValidGtin(std::string_view gtin);

}  // namespace kovrad::cfe
