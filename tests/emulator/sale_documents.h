// The sample sale and cancellation documents, variations of them, and the
// test sale the manager's end-to-end window sends, for the sale tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "fake_device.h"

namespace kovrad::test {

inline std::string SampleDocument(const char* name) {
  return ReadFile(std::string(SATEMU_SAMPLES) + "/" + name);
}
inline std::string SampleSale() {
  return SampleDocument("venda.xml");
}
inline std::string SampleCancellation() {
  return SampleDocument("cancelamento.xml");
}

// `text` with the first `from` replaced by `to`; a test failure when there
// is no `from`.
inline std::string Replaced(std::string text, std::string_view from, std::string_view to) {
  const size_t at = text.find(from);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no \"" << from << "\" to replace";
    return text;
  }
  return text.replace(at, from.size(), to);
}

// The cancellation document with `key` ("CFe" and 44 digits) written over
// its placeholder, the way the manager's sale window does it.
inline std::string CancellationFor(const std::string& key) {
  std::string document = SampleCancellation();
  const size_t at = document.find("\"CFe");
  if (at == std::string::npos || at + 1 + key.size() > document.size()) {
    ADD_FAILURE() << "the sample cancellation has no quoted key placeholder";
    return document;
  }
  return document.replace(at + 1, key.size(), key);
}

// The one-item test sale of the manager's end-to-end window: 250.000 less a
// discount of 10.00 plus other charges of 10.00, paid with 250.00.
inline constexpr char kEndToEndSale[] =
    "<?xml version='1.0' encoding='UTF-8'?><CFe> <infCFe versaoDadosEnt='0.06'> <ide> "
    "<CNPJ>16716114000172</CNPJ> <signAC>SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT</signAC> "
    "<numeroCaixa>000</numeroCaixa> </ide> <emit> <CNPJ>08723218000186</CNPJ> "
    "<IE>149626224113</IE> <indRatISSQN>S</indRatISSQN> </emit> <dest /> <det nItem='1'> "
    "<prod> <cProd>01.01.0002</cProd> <cEAN>7891234567895</cEAN> <xProd>BOLSA VIAGEM</xProd> "
    "<NCM>62041900</NCM> <CFOP>5101</CFOP> <uCom>PC</uCom> <qCom>1.0000</qCom> "
    "<vUnCom>250.000</vUnCom> <indRegra>T</indRegra> <vDesc>10.00</vDesc> "
    "<vOutro>10.00</vOutro> </prod> <imposto> <ICMS> <ICMS00> <Orig>0</Orig> <CST>00</CST> "
    "<pICMS>18.00</pICMS> </ICMS00> </ICMS> <PIS> <PISNT> <CST>04</CST> </PISNT> </PIS> "
    "<COFINS> <COFINSNT> <CST>04</CST> </COFINSNT> </COFINS> </imposto> </det> <total /> "
    "<pgto> <MP> <cMP>01</cMP> <vMP>250.00</vMP> </MP> </pgto> </infCFe> </CFe>";

// The text of the first <name> element in `xml`.
inline std::string ElementValue(const std::string& xml, const std::string& name) {
  const std::string open = "<" + name + ">";
  const size_t from = xml.find(open);
  if (from == std::string::npos) return "(no <" + name + ">)";
  const size_t start = from + open.size();
  return xml.substr(start, xml.find('<', start) - start);
}

}  // namespace kovrad::test
