// The end-to-end test: the built-in test sale handed to the device with
// TesteFimAFim ("PDV<->SEFAZ"), or a plain ConsultarSAT ("PDV<->SAT").
//
// The test sale has one item, one means of payment, under the public test identities of the
// SAT-CF-e test environment (the taxpayer, its state registration, the software house and its
// signature), which are what the development kit and the emulator are set up
// with. Tags are separated by one blank; the device receives it byte for byte.
#pragma once

#include <cstddef>
#include <string>

namespace kovrad::client {
class Library;
}  // namespace kovrad::client

namespace kovrad::manager {

inline constexpr char kTestSale[] =
    "<?xml version='1.0' encoding='UTF-8'?> <CFe> <infCFe versaoDadosEnt='0.06'> <ide> "
    "<CNPJ>16716114000172</CNPJ> "
    "<signAC>SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT</signAC> "
    "<numeroCaixa>000</numeroCaixa> </ide> <emit> <CNPJ>08723218000186</CNPJ> "
    "<IE>149626224113</IE> <indRatISSQN>S</indRatISSQN> </emit> <dest /> <det nItem='1'> "
    "<prod> <cProd>01.01.0002</cProd> <cEAN>7891234567895</cEAN> <xProd>BOLSA VIAGEM</xProd> "
    "<NCM>62041900</NCM> <CFOP>5101</CFOP> <uCom>PC</uCom> <qCom>1.0000</qCom> "
    "<vUnCom>250.000</vUnCom> <indRegra>T</indRegra> <vDesc>10.00</vDesc> "
    "<vOutro>10.00</vOutro> </prod> <imposto> <ICMS> <ICMS00> <Orig>0</Orig> <CST>00</CST> "
    "<pICMS>18.00</pICMS> </ICMS00> </ICMS> <PIS> <PISNT> <CST>04</CST> </PISNT> </PIS> "
    "<COFINS> <COFINSNT> <CST>04</CST> </COFINSNT> </COFINS> </imposto> </det> <total /> "
    "<pgto> <MP> <cMP>01</cMP> <vMP>250.00</vMP> </MP> </pgto> </infCFe> </CFe>";

inline constexpr size_t kTestSaleSize = 888;
static_assert(sizeof kTestSale - 1 == kTestSaleSize);

enum class EndToEnd { kSefaz, kDevice };

// Runs the test (`code` in Windows-1252, used by the SEFAZ test only) and
// returns the operator's message.
std::string RunEndToEnd(client::Library& library, EndToEnd test, const std::string& code);

}  // namespace kovrad::manager
