// Each rule of the check refuses one document that breaks it, naming the
// field by its path and the device's code; valid documents pass whole.
#include <gtest/gtest.h>

#include <functional>

#include "cfe/check.h"
#include "cfe/defaults.h"
#include "cfe/identifiers.h"
#include "sales.h"

namespace kovrad::cfe::test {
namespace {

TEST(Identifiers, CheckDigitsOfCnpjCpfAndGtin) {
  EXPECT_TRUE(ValidCnpj("08723218000186"));
  EXPECT_TRUE(ValidCnpj("16716114000172"));
  EXPECT_FALSE(ValidCnpj("08723218000187"));
  EXPECT_FALSE(ValidCnpj("00000000000000"));  // right digits, but no CNPJ
  EXPECT_FALSE(ValidCnpj("0872321800018"));
  EXPECT_TRUE(ValidCpf("11144477735"));
  EXPECT_FALSE(ValidCpf("11144477734"));
  EXPECT_FALSE(ValidCpf("11111111111"));
  EXPECT_FALSE(ValidCpf("1114447773a"));
  for (const char* gtin : {"7891234567895", "96385074", "036000291452", "17891234567892"}) {
    EXPECT_TRUE(ValidGtin(gtin)) << gtin;
  }
  for (const char* gtin : {"7891234567894", "789123456789", "78912345678955", "7891234567a95"}) {
    EXPECT_FALSE(ValidGtin(gtin)) << gtin;
  }
}

struct Case {
  const char* rule;
  std::function<void(Sale&)> change;
  const char* path;
  const char* code;
};

Refusals Checked(Sale sale) {
  Complete(&sale);
  return Check(sale);
}

TEST(Check, ValidSalesPass) {
  EXPECT_EQ(Checked(SmallSale()), Refusals{});
  Sale sale = SmallSale();
  sale.versaoDadosEnt = Version::k007;
  sale.dest = {"", "11144477735", "MARIA"};
  sale.entrega = Entrega{"RUA DAS FLORES", "10", "", "CENTRO", "SAO PAULO", "SP"};
  sale.det[0].prod.cEAN = "7891234567895";
  sale.det[0].prod.obsFiscoDet.push_back({"Cod.Produto ANP", "210203001"});
  sale.total.vDescSubtot = 100;
  sale.pgto = {{"03", 1000, "001"}, {"01", 1000}};
  EXPECT_EQ(Checked(sale), Refusals{});
}

TEST(Check, EachRuleRefusesTheFieldItNames) {
  using G = Contribution::Group;
  const Case cases[] = {
      {"software house CNPJ", [](Sale& s) { s.ide.CNPJ = "16716114000173"; }, "ide.CNPJ", "1201"},
      {"signature length", [](Sale& s) { s.ide.signAC = std::string(345, 'A'); }, "ide.signAC", ""},
      {"till number", [](Sale& s) { s.ide.numeroCaixa = "1"; }, "ide.numeroCaixa", "1202"},
      {"emitter CNPJ", [](Sale& s) { s.emit.CNPJ = "08723218000180"; }, "emit.CNPJ", "1203"},
      {"emitter IE", [](Sale& s) { s.emit.IE = "1"; }, "emit.IE", ""},
      {"ISSQN regime", [](Sale& s) { s.emit.cRegTribISSQN = "7"; }, "emit.cRegTribISSQN", "1217"},
      {"ISSQN spread", [](Sale& s) { s.emit.indRatISSQN = "X"; }, "emit.indRatISSQN", ""},
      {"buyer CPF", [](Sale& s) { s.dest.CPF = "11144477736"; }, "dest.CPF", "1206"},
      {"buyer CNPJ", [](Sale& s) { s.dest.CNPJ = "1234"; }, "dest.CNPJ", "1207"},
      {"CPF and CNPJ",
       [](Sale& s) {
         s.dest = {kTaxpayer, "11144477735", ""};
       },
       "dest.CNPJ", ""},
      {"buyer name", [](Sale& s) { s.dest.xNome = std::string(61, 'x'); }, "dest.xNome", ""},
      {"delivery state",
       [](Sale& s) { s.entrega = Entrega{"RUA A", "1", "", "B", "CIDADE", "XX"}; }, "entrega.UF",
       ""},
      {"no items", [](Sale& s) { s.det.clear(); }, "det", ""},
      {"too many items",
       [](Sale& s) {
         s.det.resize(501, s.det[0]);
         s.pgto[0].vMP = 1'000'000;
       },
       "det", ""},
      {"product code", [](Sale& s) { s.det[0].prod.cProd = ""; }, "det[1].prod.cProd", ""},
      {"GTIN check digit", [](Sale& s) { s.det[0].prod.cEAN = "7891234567894"; },
       "det[1].prod.cEAN", ""},
      {"description blanks", [](Sale& s) { s.det[0].prod.xProd = " FEIJAO"; }, "det[1].prod.xProd",
       ""},
      {"control character", [](Sale& s) { s.det[0].prod.xProd = "FEIJAO\nCARIOCA"; },
       "det[1].prod.xProd", ""},
      {"invalid UTF-8", [](Sale& s) { s.det[0].prod.xProd = "FEIJ\xC3O"; }, "det[1].prod.xProd",
       ""},
      {"NCM length", [](Sale& s) { s.det[0].prod.NCM = "0713331"; }, "det[1].prod.NCM", "1209"},
      {"CEST length", [](Sale& s) { s.det[0].prod.CEST = "12345"; }, "det[1].prod.CEST", ""},
      {"CFOP outside the state", [](Sale& s) { s.det[0].prod.CFOP = "6102"; }, "det[1].prod.CFOP",
       "1208"},
      {"unit", [](Sale& s) { s.det[0].prod.uCom = "CAIXINHA"; }, "det[1].prod.uCom", ""},
      {"zero quantity", [](Sale& s) { s.det[0].prod.qCom = 0; }, "det[1].prod.qCom", "1210"},
      {"unit price digits", [](Sale& s) { s.det[0].prod.vUnCom = 1'000'000'000'000; },
       "det[1].prod.vUnCom", "1211"},
      {"rounding rule", [](Sale& s) { s.det[0].prod.indRegra = "R"; }, "det[1].prod.indRegra", ""},
      {"too many notes",
       [](Sale& s) {
         s.det[0].prod.obsFiscoDet.resize(11, {"a", "b"});
       },
       "det[1].prod.obsFiscoDet", ""},
      {"item note", [](Sale& s) { s.det[0].infAdProd = std::string(501, 'x'); }, "det[1].infAdProd",
       ""},
      {"CST of ICMS00", [](Sale& s) { s.det[0].imposto.ICMS->CST = "40"; },
       "det[1].imposto.ICMS.ICMS00.CST", ""},
      {"ICMS00 rate", [](Sale& s) { s.det[0].imposto.ICMS->pICMS.reset(); },
       "det[1].imposto.ICMS.ICMS00.pICMS", ""},
      {"ICMS40 rate",
       [](Sale& s) {
         s.det[0].imposto.ICMS = Icms{Icms::Group::kICMS40, "0", "41", "", 1800};
       },
       "det[1].imposto.ICMS.ICMS40.pICMS", ""},
      {"CSOSN of ICMSSN102",
       [](Sale& s) {
         s.det[0].imposto.ICMS = Icms{Icms::Group::kICMSSN102, "0", "", "900"};
       },
       "det[1].imposto.ICMS.ICMSSN102.CSOSN", ""},
      {"origin", [](Sale& s) { s.det[0].imposto.ICMS->Orig = "9"; },
       "det[1].imposto.ICMS.ICMS00.Orig", ""},
      {"ICMS and ISSQN",
       [](Sale& s) {
         RegisterForServices(&s);
         s.det[0].imposto.ISSQN = Issqn{0, 200, "", "", "", "01", "1"};
       },
       "det[1].imposto.ISSQN", ""},
      {"no ICMS", [](Sale& s) { s.det[0].imposto.ICMS.reset(); }, "det[1].imposto.ICMS", ""},
      {"ISSQN nature",
       [](Sale& s) {
         RegisterForServices(&s);
         s.det[0].imposto.ICMS.reset();
         s.det[0].imposto.ISSQN = Issqn{0, 200, "3550308", "14.01", "", "09", "1"};
       },
       "det[1].imposto.ISSQN.cNatOp", "1221"},
      {"ISSQN nature left out",
       [](Sale& s) {
         s = SmallServiceSale();
         s.det[0].imposto.ISSQN->cNatOp.clear();
       },
       "det[1].imposto.ISSQN.cNatOp", ""},
      {"CST of PISAliq", [](Sale& s) { s.det[0].imposto.PIS.CST = "03"; },
       "det[1].imposto.PIS.PISAliq.CST", ""},
      {"PISQtde by value",
       [](Sale& s) {
         s.det[0].imposto.PIS = {G::kQtde, "03", 100, 165};
       },
       "det[1].imposto.PIS.PISQtde", ""},
      {"PISNT with a rate",
       [](Sale& s) {
         s.det[0].imposto.PIS = {G::kNT, "04", std::nullopt, 165};
       },
       "det[1].imposto.PIS.PISNT", ""},
      {"PIS rate digits", [](Sale& s) { s.det[0].imposto.PIS.rate = 100000; },
       "det[1].imposto.PIS.PISAliq.pPIS", ""},
      {"CST of COFINSSN",
       [](Sale& s) {
         s.det[0].imposto.COFINS = {G::kSN, "99"};
       },
       "det[1].imposto.COFINS.COFINSSN.CST", ""},
      {"COFINSOutr half a basis",
       [](Sale& s) {
         s.det[0].imposto.COFINS = {G::kOutr, "99", std::nullopt, std::nullopt, 10000};
       },
       "det[1].imposto.COFINS.COFINSOutr.vAliqProd", ""},
      {"PISST without a basis", [](Sale& s) { s.det[0].imposto.PISST = Substitution{}; },
       "det[1].imposto.PISST", ""},
      {"discount and surcharge", [](Sale& s) { s.total.vDescSubtot = 1, s.total.vAcresSubtot = 1; },
       "total.DescAcrEntr", ""},
      {"no payment", [](Sale& s) { s.pgto.clear(); }, "pgto.MP", ""},
      {"too many payments",
       [](Sale& s) {
         s.pgto.assign(11, {"01", 200});
       },
       "pgto.MP", ""},
      {"payment means", [](Sale& s) { s.pgto[0].cMP = "06"; }, "pgto.MP[1].cMP", "1214"},
      {"instant payment in 0.07",
       [](Sale& s) { s.versaoDadosEnt = Version::k007, s.pgto[0].cMP = "17"; }, "pgto.MP[1].cMP",
       "1214"},
      {"acquirer", [](Sale& s) { s.pgto[0].cAdmC = "12"; }, "pgto.MP[1].cAdmC", ""},
      {"note length", [](Sale& s) { s.infCpl = std::string(5001, 'x'); }, "infAdic.infCpl", ""},
      {"item discount", [](Sale& s) { s.det[0].prod.vDesc = 1781; }, "det[1].prod.vDesc", "1212"},
      {"subtotal discount", [](Sale& s) { s.total.vDescSubtot = 1780; },
       "total.DescAcrEntr.vDescSubtot", "1215"},
      {"payments short", [](Sale& s) { s.pgto[0].vMP = 1779; }, "pgto", "1213"},
      {"total past 13 digits",
       [](Sale& s) {
         s.det[0].prod.qCom = 99'999'999'999'9999;
         s.det[0].prod.vUnCom = 999'999'999'999;
         s.det[0].imposto.PIS = {G::kNT, "04"};
         s.det[0].imposto.COFINS = {G::kNT, "04"};
       },
       "det[1].prod.vProd", ""},
  };
  for (const Case& c : cases) {
    Sale sale = SmallSale();
    c.change(sale);
    const Refusals refusals = Checked(sale);
    ASSERT_EQ(refusals.size(), 1u)
        << c.rule << ": " << (refusals.empty() ? "" : Describe(refusals[0]));
    EXPECT_EQ(refusals[0].path, c.path) << c.rule;
    EXPECT_EQ(refusals[0].code, c.code) << c.rule;
    EXPECT_FALSE(refusals[0].message.empty()) << c.rule;
  }
}

TEST(Check, ReportsEveryRefusalAtOnce) {
  Sale sale = SmallSale();
  sale.ide.numeroCaixa = "";
  sale.det.push_back(TaxedItem(10000, 100));
  sale.det[1].prod.NCM = "123";
  sale.det[1].prod.CFOP = "51020";
  const Refusals refusals = Checked(sale);
  ASSERT_EQ(refusals.size(), 3u);
  EXPECT_EQ(Describe(refusals[0]), "ide.numeroCaixa: campo obrigatório ausente (1202)");
  EXPECT_EQ(refusals[1].path, "det[2].prod.NCM");
  EXPECT_EQ(refusals[2].path, "det[2].prod.CFOP");
}

TEST(Check, CancellationNamesTheSaleByItsKey) {
  Cancellation c{"CFe" + std::string(44, '3'), {kSoftwareHouse, kSignature, "001"}, {}};
  EXPECT_EQ(Check(c), Refusals{});
  c.chCanc = std::string(47, '3');
  c.dest.CPF = "11144477736";
  const Refusals refusals = Check(c);
  ASSERT_EQ(refusals.size(), 2u);
  EXPECT_EQ(refusals[0].path, "chCanc");
  EXPECT_EQ(refusals[1].code, "1206");
}

}  // namespace
}  // namespace kovrad::cfe::test
