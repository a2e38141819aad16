// CF-e-like sale documents of a chosen size: the header, emitter and buyer
// blocks of a real sale, then items with varied products and prices, then the
// totals and payment, so zlib sees what it sees in a shop.
#pragma once

#include <cstdio>
#include <string>

#include "sale_codec.h"

namespace kovrad::test {

// A well-formed document of at least `min_length` characters.
inline std::string CfeDocument(size_t min_length, uint32_t seed = 1) {
  static constexpr const char* kWords[] = {
      "ARROZ",  "FEIJAO", "CAFE",      "ACUCAR", "LEITE",  "INTEGRAL", "TIPO 1", "500G",
      "1KG",    "5KG",    "SABAO",     "PO",     "OLEO",   "SOJA",     "MILHO",  "FARINHA",
      "TRIGO",  "MASSA",  "ESPAGUETE", "MOLHO",  "TOMATE", "BISCOITO", "AGUA",   "MINERAL",
      "REFRIG", "2L",     "COLA",      "SUCO",   "UVA",    "PAPEL",    "HIGIEN", "12UN"};
  constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];
  Lcg lcg(seed);
  const std::string signature = Base64(RandomText(256, "0123456789abcdef", seed));
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><CFe><infCFe versaoDadosEnt=\"0.08\"><ide>"
      "<CNPJ>11222333000181</CNPJ><signAC>" +
      signature +
      "</signAC><numeroCaixa>001</numeroCaixa></ide><emit><CNPJ>44555666000199</CNPJ>"
      "<IE>123456789012</IE><indRatISSQN>N</indRatISSQN></emit><dest><CPF>12345678909</CPF>"
      "</dest>";
  static constexpr char kFooter[] =
      "<total><vCFeLei12741>0.00</vCFeLei12741></total><pgto><MP><cMP>01</cMP>"
      "<vMP>%u.%02u</vMP></MP></pgto><infAdic><infCpl>Volte sempre</infCpl></infAdic>"
      "</infCFe></CFe>";
  unsigned total = 0;
  char item[1024];
  for (unsigned n = 1; doc.size() + sizeof kFooter + 16 < min_length; ++n) {
    std::string name = kWords[lcg.Next() % kWordCount];
    for (unsigned w = lcg.Next() % 4; w > 0; --w)
      name += std::string(" ") + kWords[lcg.Next() % kWordCount];
    const unsigned quantity = 1 + lcg.Next() % 12;
    const unsigned cents = 50 + lcg.Next() % 9950;
    const unsigned base = quantity * cents;
    total += base;
    std::snprintf(item, sizeof item,
                  "<det nItem=\"%u\"><prod><cProd>%07u</cProd><cEAN>789%010u</cEAN><xProd>%s"
                  "</xProd><NCM>%08u</NCM><CFOP>5102</CFOP><uCom>UN</uCom><qCom>%u.0000</qCom>"
                  "<vUnCom>%u.%02u</vUnCom><indRegra>A</indRegra></prod><imposto><ICMS><ICMS00>"
                  "<Orig>0</Orig><CST>00</CST><pICMS>18.00</pICMS></ICMS00></ICMS><PIS><PISAliq>"
                  "<CST>01</CST><vBC>%u.%02u</vBC><pPIS>0.0165</pPIS></PISAliq></PIS><COFINS>"
                  "<COFINSAliq><CST>01</CST><vBC>%u.%02u</vBC><pCOFINS>0.0760</pCOFINS>"
                  "</COFINSAliq></COFINS></imposto></det>",
                  n, lcg.Next() % 10000000, lcg.Next() % 1000000000u, name.c_str(),
                  lcg.Next() % 100000000u, quantity, cents / 100, cents % 100, base / 100,
                  base % 100, base / 100, base % 100);
    doc += item;
  }
  char footer[sizeof kFooter + 32];
  std::snprintf(footer, sizeof footer, kFooter, total / 100, total % 100);
  return doc + footer;
}

}  // namespace kovrad::test
