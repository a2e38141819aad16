// Sales built from data and sent to satemu through libkovrad.so: every tax
// situation and payment kind is signed with the totals the builder computed;
// documents the check refuses are refused by the device with the same code;
// random valid sales are always signed.
#include <gtest/gtest.h>

#include <random>

#include "cfe/check.h"
#include "cfe/decimal.h"
#include "cfe/defaults.h"
#include "cfe/json_reader.h"
#include "cfe/xml_writer.h"
#include "emulated_device.h"
#include "sales.h"

namespace kovrad::cfe::test {
namespace {

using kovrad::test::Code;
using kovrad::test::Fields;

constexpr char kCode[] = "12345678";

// Every text of <name> elements in `xml`, in order.
std::vector<std::string> Values(const std::string& xml, const std::string& name) {
  std::vector<std::string> values;
  const std::string open = "<" + name + ">";
  for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
    const size_t start = at + open.size();
    values.push_back(xml.substr(start, xml.find('<', start) - start));
  }
  return values;
}

std::string Money(int64_t cents) {
  return FormatDecimal(cents, kMoney);
}

class DeviceSale : public kovrad::test::EmulatedDevice {
 protected:
  void SetUp() override { Start({"--kit"}); }

  // Sends `xml`; the reply line.
  std::string Send(const std::string& xml) {
    return EnviarDadosVenda(++session_, kCode, xml.c_str());
  }

  // Sends the prepared sale and checks the coupon holds the builder's
  // totals; the reply line.
  std::string ExpectSigned(const Prepared& prepared, const std::string& what) {
    SCOPED_TRACE(what);
    std::string reply;
    Sign(prepared, &reply);
    return reply;
  }
  void Sign(const Prepared& prepared, std::string* reply_line) {
    ASSERT_TRUE(prepared.refusals.empty()) << Describe(prepared.refusals[0]);
    const std::string reply = *reply_line = Send(prepared.xml);
    ASSERT_EQ(Code(reply), "06000") << reply.substr(0, 300);
    const std::string coupon = Base64ToAscii();
    const Totals& t = *prepared.totals;
    EXPECT_EQ(Values(coupon, "vCFe"), std::vector<std::string>{Money(t.vCFe)});
    EXPECT_EQ(Values(coupon, "vTroco"), std::vector<std::string>{Money(t.vTroco)});
    const std::pair<const char*, int64_t> sums[] = {
        {"vICMS", t.vICMS},         {"vProd", t.vProd},     {"vDesc", t.vDesc},
        {"vPIS", t.vPIS},           {"vCOFINS", t.vCOFINS}, {"vPISST", t.vPISST},
        {"vCOFINSST", t.vCOFINSST}, {"vOutro", t.vOutro}};
    const size_t tax_totals = coupon.find("<ICMSTot>");
    ASSERT_NE(tax_totals, std::string::npos);
    for (const auto& [name, cents] : sums) {
      EXPECT_EQ(Values(coupon.substr(tax_totals), name).front(), Money(cents)) << name;
    }
    ExpectServiceTotals(coupon, t);
    std::vector<std::string> items, shares;
    for (const ItemTotals& item : t.det) {
      items.push_back(Money(item.vItem));
      if (item.vRatDesc > 0 || item.vRatAcr > 0)
        shares.push_back(Money(item.vRatDesc + item.vRatAcr));
    }
    EXPECT_EQ(Values(coupon, "vItem"), items);
    std::vector<std::string> sent = Values(coupon, "vRatDesc"), charged = Values(coupon, "vRatAcr");
    sent.insert(sent.end(), charged.begin(), charged.end());
    std::erase(sent, "0.00");
    EXPECT_EQ(sent, shares);
  }

  // ISSQNtot and each service item's vBC and vISSQN as the builder computed
  // them; no ISSQNtot in a sale of goods only.
  void ExpectServiceTotals(const std::string& coupon, const Totals& t) {
    const size_t at = coupon.find("<ISSQNtot>");
    ASSERT_EQ(at != std::string::npos, t.ISSQNtot.has_value());
    if (!t.ISSQNtot) return;
    const IssqnTot& s = *t.ISSQNtot;
    const std::string group = coupon.substr(at, coupon.find("</ISSQNtot>") - at);
    for (auto [name, cents] : {std::pair{"vBC", s.vBC},
                               {"vISS", s.vISS},
                               {"vPIS", s.vPIS},
                               {"vCOFINS", s.vCOFINS},
                               {"vPISST", s.vPISST},
                               {"vCOFINSST", s.vCOFINSST},
                               {"vDeducISS", s.vDeducISS},
                               {"vOutro", s.vOutro}}) {
      EXPECT_EQ(Values(group, name), std::vector<std::string>{Money(cents)}) << name;
    }
    std::vector<std::string> taxes;
    for (const ItemTotals& item : t.det) {
      if (item.vISSQN) taxes.push_back(Money(*item.vISSQN));
    }
    EXPECT_EQ(Values(coupon, "vISSQN"), taxes);
  }

  int session_ = 100;
};

// One sale of the matrix: an item per tax situation group given, the
// payment kind given.
std::string MatrixSale(const std::string& icms, const std::string& pis, const std::string& cofins,
                       const std::string& st, const std::string& payment,
                       const std::string& adjustment) {
  return R"({"ide": {"CNPJ": "16716114000172", "signAC": "SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT",
             "numeroCaixa": "007"},
     "emit": {"CNPJ": "08723218000186", "IE": "149626224113"},
     "det": [
       {"prod": {"cProd": "A1", "xProd": "CADERNO 96 FOLHAS", "NCM": "48202000", "CFOP": "5102",
                 "uCom": "UN", "qCom": 3, "vUnCom": "7.333", "vDesc": "0.40"},
        "imposto": {"vItem12741": "4.10", "ICMS": )" +
         icms + R"(, "PIS": )" + pis + R"(, "COFINS": )" + cofins + st + R"(}},
       {"prod": {"cProd": "B2", "xProd": "CANETA AZUL", "CFOP": "5405", "uCom": "UN",
                 "qCom": "1.5", "vUnCom": "2.45", "indRegra": "T", "vOutro": "0.05"},
        "imposto": {"ICMS": {"ICMS40": {"Orig": "2", "CST": "60"}},
                    "PIS": {"PISNT": {"CST": "04"}}, "COFINS": {"COFINSNT": {"CST": "04"}}}}],
     "total": {)" +
         adjustment + R"(},
     "pgto": {"MP": [{"cMP": ")" +
         payment + R"(", "vMP": "30.00"}]}})";
}

TEST_F(DeviceSale, MatrixOfTaxSituationsAndPaymentKindsIsSignedWithTheBuildersTotals) {
  const std::vector<std::string> icms = {
      R"({"ICMS00": {"Orig": "0", "CST": "00", "pICMS": "18.00"}})",
      R"({"ICMS00": {"Orig": "1", "CST": "20", "pICMS": "7.00"}})",
      R"({"ICMS00": {"Orig": "0", "CST": "90", "pICMS": "12.50"}})",
      R"({"ICMS40": {"Orig": "0", "CST": "40"}})",
      R"({"ICMS40": {"Orig": "3", "CST": "41"}})",
      R"({"ICMS40": {"Orig": "0", "CST": "50"}})",
      R"({"ICMS40": {"Orig": "8", "CST": "60"}})",
      R"({"ICMSSN102": {"Orig": "0", "CSOSN": "102"}})",
      R"({"ICMSSN102": {"Orig": "0", "CSOSN": "300"}})",
      R"({"ICMSSN102": {"Orig": "0", "CSOSN": "400"}})",
      R"({"ICMSSN102": {"Orig": "0", "CSOSN": "500"}})",
      R"({"ICMSSN900": {"Orig": "0", "CSOSN": "900", "pICMS": "2.56"}})",
  };
  const auto both = [](const std::string& group, const std::string& fields) {
    return std::pair{"{\"PIS" + group + "\": {" + fields + "}}",
                     "{\"COFINS" + group + "\": {" + fields + "}}"};
  };
  const std::vector<std::pair<std::string, std::string>> contributions = {
      both("Aliq", R"("CST": "01", "p%": "0.0165")"),
      both("Aliq", R"("CST": "02", "vBC": "20.00", "p%": "0.0200")"),
      both("Aliq", R"("CST": "05", "p%": "0.0760")"),
      both("Qtde", R"("CST": "03", "vAliqProd": "0.1234")"),
      both("NT", R"("CST": "04")"),
      both("NT", R"("CST": "06")"),
      both("NT", R"("CST": "07")"),
      both("NT", R"("CST": "08")"),
      both("NT", R"("CST": "09")"),
      both("SN", R"("CST": "49")"),
      both("Outr", R"("CST": "99", "vBC": "21.60", "p%": "0.0300")"),
      both("Outr", R"("CST": "99", "qBCProd": "3", "vAliqProd": "0.5000")"),
  };
  const std::vector<std::string> payments = {"01", "02", "03", "04", "05", "10", "11", "12",
                                             "13", "15", "16", "17", "18", "19", "90", "99"};
  const std::vector<std::string> substitutions = {
      "",
      R"(, "PISST": {"vBC": "10.00", "pPIS": "0.0165"}, "COFINSST": {"qBCProd": "3", "vAliqProd": "0.0100"})"};
  const std::vector<std::string> adjustments = {"", R"("DescAcrEntr": {"vDescSubtot": "1.11"})",
                                                R"("DescAcrEntr": {"vAcresSubtot": "0.97"})"};
  for (size_t i = 0; i < payments.size(); ++i) {
    const auto& [pis, cofins] = contributions[i % contributions.size()];
    std::string pis_text = pis, cofins_text = cofins;
    for (auto [text, rate] : {std::pair{&pis_text, "pPIS"}, {&cofins_text, "pCOFINS"}}) {
      if (const size_t at = text->find("p%"); at != std::string::npos) text->replace(at, 2, rate);
    }
    const std::string json = MatrixSale(icms[i % icms.size()], pis_text, cofins_text,
                                        substitutions[i % substitutions.size()], payments[i],
                                        adjustments[i % adjustments.size()]);
    ExpectSigned(PrepareSaleJson(json), "sale " + std::to_string(i) + ": " + json);
  }
}

// A service taxed by ISSQN beside a product taxed by ICMS, for an emitter
// with the regime and spread given.
std::string ServiceSale(const std::string& issqn, const std::string& regime,
                        const std::string& spread, const std::string& adjustment,
                        const std::string& payment) {
  return R"({"ide": {"CNPJ": "16716114000172", "signAC": "SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT",
             "numeroCaixa": "007"},
     "emit": {"CNPJ": "08723218000186", "IE": "149626224113", "IM": "12345678",
              "cRegTribISSQN": ")" +
         regime + R"(", "indRatISSQN": ")" + spread + R"("},
     "det": [
       {"prod": {"cProd": "S1", "xProd": "MANUTENCAO DE COMPUTADOR", "CFOP": "5933", "uCom": "H",
                 "qCom": "1.5", "vUnCom": "80.00", "vDesc": "2.00", "vOutro": "0.35"},
        "imposto": {"ISSQN": )" +
         issqn + R"(, "PIS": {"PISAliq": {"CST": "01", "pPIS": "0.0065"}},
                    "COFINS": {"COFINSAliq": {"CST": "01", "pCOFINS": "0.0300"}},
                    "COFINSST": {"vBC": "10.00", "pCOFINS": "0.0300"}}},
       {"prod": {"cProd": "A1", "xProd": "CABO USB", "NCM": "85444200", "CFOP": "5102",
                 "uCom": "UN", "qCom": 2, "vUnCom": "9.99"},
        "imposto": {"ICMS": {"ICMS00": {"Orig": "0", "CST": "00", "pICMS": "18.00"}},
                    "PIS": {"PISAliq": {"CST": "01", "pPIS": "0.0165"}},
                    "COFINS": {"COFINSNT": {"CST": "04"}}}}],
     "total": {)" +
         adjustment + R"(},
     "pgto": {"MP": [{"cMP": ")" +
         payment + R"(", "vMP": "200.00"}]}})";
}

TEST_F(DeviceSale, ServicesTaxedByIssqnAreSignedWithTheBuildersTotals) {
  const std::vector<std::string> rates = {"5.00", "2", "3.75", "0"};
  const std::vector<std::string> adjustments = {"", R"("DescAcrEntr": {"vDescSubtot": "3.33"})",
                                                R"("DescAcrEntr": {"vAcresSubtot": "1.01"})"};
  const std::vector<std::string> payments = {"01", "03", "04", "17"};
  for (int i = 0; i < 8; ++i) {
    const std::string nature = "0" + std::to_string(i + 1);
    std::string issqn = R"({"vDeducISSQN": ")" + std::string(i % 2 ? "10.00" : "0") +
                        R"(", "vAliq": ")" + rates[i % rates.size()] + R"(", "cNatOp": ")" +
                        nature + R"(", "indIncFisc": ")" + (i % 3 ? "2" : "1") + "\"";
    if (i % 2 == 0) issqn += R"(, "cMunFG": "3550308", "cListServ": "14.01")";
    if (i % 4 == 1) issqn += R"(, "cServTribMun": "1401-ASSIST")";
    issqn += "}";
    const std::string json =
        ServiceSale(issqn, std::to_string(1 + i % 6), i % 2 ? "N" : "S",
                    adjustments[i % adjustments.size()], payments[i % payments.size()]);
    ExpectSigned(PrepareSaleJson(json), "service sale " + std::to_string(i) + ": " + json);
  }
}

TEST_F(DeviceSale, ExampleSaleAndItsCancellationAreSigned) {
  const auto fields = Fields(ExpectSigned(PrepareSaleJson(ExampleSaleJson()), "venda.json"));
  ASSERT_GE(fields.size(), 9u);
  const std::string key = fields[8];
  const PreparedCancellation cancellation =
      PrepareCancellationJson(R"({"chCanc": ")" + key + R"(", "ide": {"CNPJ": "16716114000172",
          "signAC": "SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT", "numeroCaixa": "001"},
          "dest": {"CPF": "11144477735"}})");
  ASSERT_TRUE(cancellation.refusals.empty()) << Describe(cancellation.refusals[0]);
  const std::string reply =
      CancelarUltimaVenda(++session_, kCode, key.c_str(), cancellation.xml.c_str());
  EXPECT_EQ(Code(reply), "07000") << reply.substr(0, 300);
  EXPECT_EQ(Values(Base64ToAscii(), "vCFe"), std::vector<std::string>{"102.20"});
}

struct DeviceRule {
  const char* rule;
  std::function<void(Sale&)> change;
  bool service = false;  // changes the sale of a service instead
};

// Documents the check refuses, sent as they are: the device refuses them
// with the code the check gave (its catch-all 1999 where the check has none).
TEST_F(DeviceSale, RefusedDocumentsAreRefusedByTheDeviceWithTheSameCode) {
  const DeviceRule rules[] = {
      {"software house CNPJ", [](Sale& s) { s.ide.CNPJ = "16716114000173"; }},
      {"till number", [](Sale& s) { s.ide.numeroCaixa = "01"; }},
      {"emitter CNPJ", [](Sale& s) { s.emit.CNPJ = "08723218000180"; }},
      {"buyer CPF", [](Sale& s) { s.dest.CPF = "11144477736"; }},
      {"buyer CNPJ", [](Sale& s) { s.dest.CNPJ = "08723218000187"; }},
      {"CFOP", [](Sale& s) { s.det[0].prod.CFOP = "6102"; }},
      {"NCM", [](Sale& s) { s.det[0].prod.NCM = "0713"; }},
      {"quantity", [](Sale& s) { s.det[0].prod.qCom = 0; }},
      {"unit price", [](Sale& s) { s.det[0].prod.vUnCom = 1'000'000'000'000; }},
      {"item discount", [](Sale& s) { s.det[0].prod.vDesc = 1781; }},
      {"payments short", [](Sale& s) { s.pgto[0].vMP = 1779; }},
      {"payment means", [](Sale& s) { s.pgto[0].cMP = "07"; }},
      {"subtotal discount", [](Sale& s) { s.total.vDescSubtot = 1780; }},
      {"CST of the group", [](Sale& s) { s.det[0].imposto.ICMS->CST = "41"; }},
      {"CST of the PIS group", [](Sale& s) { s.det[0].imposto.PIS.CST = "49"; }},
      {"too many payments",
       [](Sale& s) {
         s.pgto.assign(11, {"01", 200, ""});
       }},
      {"discount and surcharge",
       [](Sale& s) { s.total.vDescSubtot = 10, s.total.vAcresSubtot = 10; }},
      {"municipal registration", [](Sale& s) { s.emit.IM.clear(); }, true},
      {"ISSQN regime", [](Sale& s) { s.emit.cRegTribISSQN.clear(); }, true},
      {"ISSQN rate", [](Sale& s) { s.det[0].imposto.ISSQN->vAliq = 100000; }, true},
      {"ISSQN city", [](Sale& s) { s.det[0].imposto.ISSQN->cMunFG = "355030"; }, true},
      {"service list item", [](Sale& s) { s.det[0].imposto.ISSQN->cListServ = "1401"; }, true},
      {"ISSQN nature", [](Sale& s) { s.det[0].imposto.ISSQN->cNatOp = "09"; }, true},
      {"ISSQN nature left out", [](Sale& s) { s.det[0].imposto.ISSQN->cNatOp.clear(); }, true},
      {"fiscal incentive", [](Sale& s) { s.det[0].imposto.ISSQN->indIncFisc = "3"; }, true},
      {"ISSQN deduction", [](Sale& s) { s.det[0].imposto.ISSQN->vDeducISSQN = 1781; }, true},
      {"ICMS and ISSQN", [](Sale& s) { s.det[0].imposto.ICMS = SmallSale().det[0].imposto.ICMS; },
       true},
      // Without indRatISSQN S, a discount on the subtotal has no item to share it.
      {"subtotal discount of services", [](Sale& s) { s.total.vDescSubtot = 100; }, true},
  };
  for (const DeviceRule& r : rules) {
    SCOPED_TRACE(r.rule);
    Sale sale = r.service ? SmallServiceSale() : SmallSale();
    Complete(&sale);
    r.change(sale);
    const Refusals refusals = Check(sale);
    ASSERT_EQ(refusals.size(), 1u);
    const std::string reply = Send(WriteXml(sale));
    const auto fields = Fields(reply);
    ASSERT_GE(fields.size(), 6u) << reply;
    EXPECT_EQ(fields[1], "06010") << reply;
    EXPECT_EQ(fields[4], refusals[0].code.empty() ? "1999" : refusals[0].code)
        << Describe(refusals[0]) << " / " << reply;
  }
}

// A random sale the model allows, with payments that cover it.
Sale RandomSale(std::mt19937& random) {
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const auto amount = [&](int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(random);
  };
  Sale sale = SmallSale();
  sale.versaoDadosEnt = pick(2) == 0 ? Version::k007 : Version::k008;
  if (pick(3) == 0) sale.dest.CPF = "11144477735";
  sale.det.clear();
  for (int i = 0, n = 1 + pick(12); i < n; ++i) {
    Det det = TaxedItem(amount(1, 500'000), amount(0, 2'000'000));
    det.prod.indRegra = pick(2) == 0 ? "A" : "T";
    if (pick(4) == 0) det.prod.vOutro = amount(0, 1000);
    using IG = Icms::Group;
    switch (pick(4)) {
      case 0:
        det.imposto.ICMS = Icms{IG::kICMS00, "0", "20", "", amount(0, 9999)};
        break;
      case 1:
        det.imposto.ICMS = Icms{IG::kICMS40, "1", "41", "", std::nullopt};
        break;
      case 2:
        det.imposto.ICMS = Icms{IG::kICMSSN102, "0", "", "500", std::nullopt};
        break;
      default:
        det.imposto.ICMS = Icms{IG::kICMSSN900, "0", "", "900", amount(0, 9999)};
    }
    using CG = Contribution::Group;
    for (Contribution* c : {&det.imposto.PIS, &det.imposto.COFINS}) {
      switch (pick(4)) {
        case 0:
          *c = {CG::kAliq, "01", std::nullopt, amount(0, 99999)};
          break;
        case 1:
          *c = {CG::kQtde, "03", std::nullopt, std::nullopt, std::nullopt, amount(0, 99999)};
          break;
        case 2:
          *c = {CG::kNT, "07"};
          break;
        default:
          *c = {CG::kOutr, "99", amount(0, 1'000'000), amount(0, 99999)};
      }
    }
    if (pick(5) == 0) det.imposto.vItem12741 = amount(0, 500);
    if (pick(5) == 0) {
      det.prod.CFOP = "5933";
      det.imposto.ICMS.reset();
      det.imposto.ISSQN = Issqn{0,
                                amount(0, 9999),
                                "",
                                "",
                                "",
                                "0" + std::to_string(1 + pick(8)),
                                pick(2) == 0 ? "1" : "2"};
      RegisterForServices(&sale);
    }
    sale.det.push_back(det);
  }
  sale.emit.indRatISSQN = pick(2) == 0 ? "S" : "N";
  Complete(&sale);
  sale.pgto = {{"01", kMaxMoney, ""}};
  Refusals ignored;
  const auto totals = ComputeTotals(sale, &ignored);
  // What a discount on the subtotal may take: the items that share it. A
  // service that does not share it may deduct up to its whole value.
  int64_t subtotal = 0;
  for (size_t i = 0; totals && i < sale.det.size(); ++i) {
    auto& issqn = sale.det[i].imposto.ISSQN;
    if (!issqn || sale.emit.indRatISSQN == "S") {
      subtotal += totals->det[i].net;
    } else if (pick(2) == 0) {
      issqn->vDeducISSQN = amount(0, totals->det[i].net);
    }
  }
  if (subtotal > 1 && pick(3) == 0) sale.total.vDescSubtot = amount(1, subtotal - 1);
  if (subtotal > 0 && pick(3) == 0 && !sale.total.vDescSubtot)
    sale.total.vAcresSubtot = amount(1, 500);
  const int64_t total = (totals ? totals->subtotal : 0) - sale.total.vDescSubtot.value_or(0) +
                        sale.total.vAcresSubtot.value_or(0);
  sale.pgto.clear();
  const int64_t first = amount(0, total);
  sale.pgto.push_back({"03", first, "001"});
  sale.pgto.push_back({pick(2) == 0 ? "01" : "99", total - first + amount(0, 5000), ""});
  return sale;
}

TEST_F(DeviceSale, RandomValidSalesAreAlwaysSigned) {
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  for (int i = 0; i < 30; ++i) {
    const Sale sale = RandomSale(random);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", sale " + std::to_string(i) + ":\n" +
                 WriteXml(sale));
    std::string reply;
    Sign(Prepare(sale), &reply);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace kovrad::cfe::test
