// The JSON form: read into the model, refused with paths when it is not
// one, and written as the XML the device takes.
#include <gtest/gtest.h>

#include "cfe/json_reader.h"
#include "sales.h"

namespace kovrad::cfe::test {
namespace {

std::vector<std::string> Paths(const Refusals& refusals) {
  std::vector<std::string> paths;
  for (const Refusal& r : refusals) paths.push_back(r.path);
  return paths;
}

TEST(SaleJson, ExampleBecomesTheDocumentTheDeviceTakes) {
  const Prepared prepared = PrepareSaleJson(ExampleSaleJson());
  ASSERT_TRUE(prepared.refusals.empty()) << Describe(prepared.refusals[0]);
  const std::string& xml = prepared.xml;
  EXPECT_EQ(
      xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><CFe><infCFe versaoDadosEnt=\"0.08\">"
                "<ide><CNPJ>16716114000172</CNPJ>",
                0),
      0u);
  for (const char* part : {
           "<emit><CNPJ>08723218000186</CNPJ><IE>149626224113</IE><indRatISSQN>N</indRatISSQN></"
           "emit>",
           "<dest><CPF>11144477735</CPF><xNome>CLIENTE DE TESTE</xNome></dest><det nItem=\"1\">",
           "<qCom>2.0000</qCom><vUnCom>24.90</vUnCom><indRegra>A</indRegra><vDesc>1.80</vDesc></"
           "prod>",
           "<qCom>1.2350</qCom><vUnCom>6.99</vUnCom><indRegra>T</indRegra></prod>",
           "<PISAliq><CST>01</CST><vBC>48.00</vBC><pPIS>0.0165</pPIS></PISAliq>",
           "<PISQtde><CST>03</CST><qBCProd>1.2350</qBCProd><vAliqProd>0.0500</vAliqProd></PISQtde>",
           "<imposto><vItem12741>7.20</vItem12741><ICMS><ICMS00><Orig>0</Orig><CST>00</CST>"
           "<pICMS>18.00</pICMS></ICMS00></ICMS>",
           "</imposto><infAdProd>Embalagem para presente cobrada a parte</infAdProd></det>",
           "<total><DescAcrEntr><vDescSubtot>5.00</vDescSubtot></DescAcrEntr>"
           "<vCFeLei12741>15.33</vCFeLei12741></total>",
           "<pgto><MP><cMP>03</cMP><vMP>50.00</vMP><cAdmC>999</cAdmC></MP><MP><cMP>01</cMP>"
           "<vMP>60.00</vMP></MP></pgto><infAdic><infCpl>",
       }) {
    EXPECT_NE(xml.find(part), std::string::npos) << part;
  }
  EXPECT_TRUE(xml.ends_with("</infAdic></infCFe></CFe>"));
}

TEST(SaleJson, TextIsEscapedAndUtf8IsKept) {
  Sale sale = SmallSale();
  sale.det[0].prod.xProd = "PÃO & \"MEL\" <1KG>";
  sale.infCpl = "Obrigado pela preferência";
  const Prepared prepared = Prepare(sale);
  ASSERT_TRUE(prepared.refusals.empty());
  EXPECT_NE(prepared.xml.find("<xProd>PÃO &amp; &quot;MEL&quot; &lt;1KG&gt;</xProd>"),
            std::string::npos);
  EXPECT_NE(prepared.xml.find("<dest/>"), std::string::npos);
  EXPECT_NE(prepared.xml.find("preferência"), std::string::npos);
}

TEST(SaleJson, ReaderRefusesWhatIsNotTheForm) {
  const Prepared broken = PrepareSaleJson("{\"ide\": {");
  ASSERT_EQ(broken.refusals.size(), 1u);
  EXPECT_EQ(broken.refusals[0].path, "");
  EXPECT_NE(broken.refusals[0].message.find("JSON mal formado"), std::string::npos);

  EXPECT_EQ(Paths(PrepareSaleJson("[]").refusals), std::vector<std::string>{""});

  std::string json = ExampleSaleJson();
  const auto replace = [&](const std::string& from, const std::string& to) {
    json.replace(json.find(from), from.size(), to);
  };
  replace("\"NCM\": \"10063021\"", "\"NCN\": \"10063021\"");  // misspelt: never dropped
  replace("\"qCom\": 2,", "\"qCom\": \"2.00001\",");
  replace("\"vUnCom\": \"15.99\"", "\"vUnCom\": -15.99");
  replace("\"numeroCaixa\": \"001\"", "\"numeroCaixa\": 1");
  replace("{\"ICMS40\": {\"Orig\": \"0\", \"CST\": \"40\"}}",
          "{\"ICMS40\": {\"Orig\": \"0\", \"CST\": \"40\"}, \"ICMS00\": {}}");
  replace("\"vMP\": \"60.00\"", "\"vMP\": true");
  replace("\"cProd\": \"0004\"", "\"cProd\": \"\"");
  const Prepared prepared = PrepareSaleJson(json);
  EXPECT_EQ(Paths(prepared.refusals),
            (std::vector<std::string>{"ide.numeroCaixa", "det[1].prod.NCN", "det[1].prod.qCom",
                                      "det[2].prod.vUnCom", "det[3].imposto.ICMS", "pgto.MP[2].vMP",
                                      "det[4].prod.cProd"}));
  EXPECT_EQ(prepared.refusals[2].code, "1210");
  EXPECT_EQ(prepared.refusals[2].message, "mais de 4 casas decimais");
  EXPECT_EQ(prepared.refusals[3].message, "valor negativo");
  EXPECT_TRUE(prepared.xml.empty());
}

TEST(SaleJson, ItemNumbersMustMatchTheirPlace) {
  std::string json = ExampleSaleJson();
  json.replace(json.find("\"prod\""), 6, "\"nItem\": 2, \"prod\"");
  EXPECT_EQ(Paths(PrepareSaleJson(json).refusals), std::vector<std::string>{"det[1].nItem"});
}

TEST(CancellationJson, BecomesTheCancellationDocument) {
  const std::string key = "CFe35261208723218000186599000000000000011234567";
  const PreparedCancellation prepared = PrepareCancellationJson(
      "{\"chCanc\": \"" + key +
      "\", \"ide\": {\"CNPJ\": \"16716114000172\", \"signAC\": \"SGR-SAT SISTEMA DE GESTAO E "
      "RETAGUARDA DO SAT\", \"numeroCaixa\": \"001\"}, \"dest\": {\"CPF\": \"11144477735\"}}");
  ASSERT_TRUE(prepared.refusals.empty()) << Describe(prepared.refusals[0]);
  EXPECT_EQ(prepared.xml,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><CFeCanc><infCFe chCanc=\"" + key +
                "\"><ide><CNPJ>16716114000172</CNPJ><signAC>SGR-SAT SISTEMA DE GESTAO E "
                "RETAGUARDA DO SAT</signAC><numeroCaixa>001</numeroCaixa></ide><emit/><dest>"
                "<CPF>11144477735</CPF></dest><total/></infCFe></CFeCanc>");
  EXPECT_EQ(
      Paths(
          PrepareCancellationJson("{\"chCanc\": \"CFe1\", \"dest\": {\"xNome\": \"A\"}}").refusals),
      (std::vector<std::string>{"ide", "dest.xNome", "chCanc"}));
}

}  // namespace
}  // namespace kovrad::cfe::test
