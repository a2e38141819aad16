// Sales for the tests: a small valid one built in code, and the example
// sale of the documentation read from its JSON.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "cfe/sale.h"

namespace kovrad::cfe::test {

inline constexpr char kSoftwareHouse[] = "16716114000172";
inline constexpr char kSignature[] = "SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT";
inline constexpr char kTaxpayer[] = "08723218000186";
inline constexpr char kTaxpayerIe[] = "149626224113";

inline Det TaxedItem(int64_t quantity, int64_t unit_price) {
  Det det;
  det.prod = {"7", "", "FEIJAO CARIOCA 1KG", "07133319", "", "5102", "UN", quantity, unit_price};
  det.imposto.ICMS = Icms{Icms::Group::kICMS00, "0", "00", "", 1800};
  det.imposto.PIS = {Contribution::Group::kAliq, "01", std::nullopt, 165};
  det.imposto.COFINS = {Contribution::Group::kAliq, "01", std::nullopt, 760};
  return det;
}

// A service taxed by ISSQN (5% in Sao Paulo) in place of ICMS.
inline Det ServiceItem(int64_t quantity, int64_t unit_price) {
  Det det = TaxedItem(quantity, unit_price);
  det.prod.xProd = "MANUTENCAO DE COMPUTADOR";
  det.prod.NCM.clear();
  det.prod.CFOP = "5933";
  det.imposto.ICMS.reset();
  det.imposto.ISSQN = Issqn{0, 500, "3550308", "14.01", "", "01", "2"};
  return det;
}

// The emitter's municipal registration and ISSQN regime, which a sale of a
// service needs.
inline void RegisterForServices(Sale* sale) {
  sale->emit.IM = "12345678";
  sale->emit.cRegTribISSQN = "3";
}

// One item of 2 x 8.90, paid 20.00 in cash: the device signs it.
inline Sale SmallSale() {
  Sale sale;
  sale.ide = {kSoftwareHouse, kSignature, "001"};
  sale.emit = {kTaxpayer, kTaxpayerIe};
  sale.det.push_back(TaxedItem(20000, 8900));
  sale.pgto.push_back({"01", 2000});
  return sale;
}

// The same sale of a service (2 hours at 8.90).
inline Sale SmallServiceSale() {
  Sale sale = SmallSale();
  RegisterForServices(&sale);
  sale.det[0] = ServiceItem(20000, 8900);
  return sale;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string ExampleSaleJson() {
  return ReadText(std::string(KOVRAD_DOCS) + "/examples/venda.json");
}

}  // namespace kovrad::cfe::test
