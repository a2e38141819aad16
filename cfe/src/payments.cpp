#include "cfe/payments.h"

#include <utility>

namespace kovrad::cfe {

const char* PaymentMeansName(std::string_view code) {
  static constexpr std::pair<std::string_view, const char*> kNames[] = {
      {"01", "Dinheiro"},
      {"02", "Cheque"},
      {"03", "Cartão de Crédito"},
      {"04", "Cartão de Débito"},
      {"05", "Crédito Loja"},
      {"10", "Vale Alimentação"},
      {"11", "Vale Refeição"},
      {"12", "Vale Presente"},
      {"13", "Vale Combustível"},
      {"15", "Boleto Bancário"},
      {"16", "Depósito Bancário"},
      {"17", "Pagamento Instantâneo (PIX)"},
      {"18", "Transferência bancária, Carteira Digital"},
      {"19", "Programa de fidelidade, Cashback, Crédito Virtual"},
      {"90", "Sem pagamento"},
      {"99", "Outros"},
  };
  for (const auto& [known, name] : kNames) {
    if (code == known) return name;
  }
  return nullptr;
}

}  // namespace kovrad::cfe
