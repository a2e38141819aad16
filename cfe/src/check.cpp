#include "cfe/check.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "cfe/decimal.h"
#include "cfe/identifiers.h"
#include "cfe/totals.h"

namespace kovrad::cfe {
namespace {

using Codes = std::initializer_list<std::string_view>;

// Payment means (cMP) of layout 0.07, and those 0.08 adds (bank slip,
// deposit, instant payment, transfer, loyalty programme, no payment).
const Codes kPayments007 = {"01", "02", "03", "04", "05", "10", "11", "12", "13", "99"};
const Codes kPayments008 = {"15", "16", "17", "18", "19", "90"};
const Codes kStates = {"AC", "AL", "AM", "AP", "BA", "CE", "DF", "ES", "GO",
                       "MA", "MG", "MS", "MT", "PA", "PB", "PE", "PI", "PR",
                       "RJ", "RN", "RO", "RR", "RS", "SC", "SE", "SP", "TO"};

bool In(Codes codes, std::string_view value) {
  return std::find(codes.begin(), codes.end(), value) != codes.end();
}

std::string List(Codes codes) {
  std::string text;
  for (std::string_view code : codes) text += (text.empty() ? "" : ", ") + std::string(code);
  return text;
}

// Characters of valid UTF-8 text; npos when it is not valid UTF-8.
size_t Utf8Length(std::string_view text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++count) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80         ? 1
                          : (lead >> 5) == 6  ? 2
                          : (lead >> 4) == 14 ? 3
                          : (lead >> 3) == 30 ? 4
                                              : 0;
    if (length == 0 || i + length > text.size()) return std::string_view::npos;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return std::string_view::npos;
    }
    i += length;
  }
  return count;
}

class Checker {
 public:
  explicit Checker(Refusals* out) : out_(out) {}

  void Refuse(const std::string& path, std::string_view code, std::string message) {
    out_->push_back({path, std::string(code), std::move(message)});
  }

  // Text of `min` to `max` characters; empty means absent, refused when
  // `required`. No control characters, no blanks at either end.
  bool Text(const std::string& path, const std::string& value, size_t min, size_t max,
            bool required) {
    if (value.empty()) return !required || Missing(path);
    const size_t length = Utf8Length(value);
    if (length == std::string_view::npos) {
      Refuse(path, "", "texto não está em UTF-8 válido");
    } else if (std::any_of(value.begin(), value.end(), [](char c) {
                 return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
               })) {
      Refuse(path, "", "texto com caractere de controle (quebra de linha, tabulação...)");
    } else if (value.front() == ' ' || value.back() == ' ') {
      Refuse(path, "", "texto não pode começar nem terminar com espaço");
    } else if (length < min || length > max) {
      Refuse(path, "", Between(min, max, "caracteres") + " (tem " + std::to_string(length) + ")");
    } else {
      return true;
    }
    return false;
  }

  // Digits only, as many as one of `sizes`; empty means absent.
  bool Digits(const std::string& path, const std::string& value,
              std::initializer_list<size_t> sizes, bool required, std::string_view code = "") {
    if (value.empty()) return !required || Missing(path, code);
    if (AllDigits(value) && std::find(sizes.begin(), sizes.end(), value.size()) != sizes.end()) {
      return true;
    }
    std::string counts;
    for (size_t n : sizes) counts += (counts.empty() ? "" : " ou ") + std::to_string(n);
    Refuse(path, code, "deve ter " + counts + " dígitos (recebido \"" + Shown(value) + "\")");
    return false;
  }

  bool OneOf(const std::string& path, const std::string& value, Codes codes, bool required,
             std::string_view code = "") {
    if (value.empty()) return !required || Missing(path, code);
    if (In(codes, value)) return true;
    Refuse(path, code, "valor \"" + Shown(value) + "\" inválido: use " + List(codes));
    return false;
  }

  // At most `integer` digits before the point; `positive` refuses zero.
  void Amount(const std::string& path, const std::optional<int64_t>& value, int integer,
              Scale scale, bool required, bool positive = false, std::string_view code = "") {
    if (!value) {
      if (required) Missing(path, code);
      return;
    }
    int64_t limit = 1;
    for (int i = 0; i < integer + scale.decimals; ++i) limit *= 10;
    if (*value < 0) {
      Refuse(path, code, "valor negativo");
    } else if (*value >= limit) {
      Refuse(path, code,
             "valor acima do limite de " + std::to_string(integer) + " dígitos inteiros");
    } else if (positive && *value == 0) {
      Refuse(path, code, "valor deve ser maior que zero");
    }
  }

  bool Missing(const std::string& path, std::string_view code = "") {
    Refuse(path, code, "campo obrigatório ausente");
    return false;
  }
  void Unexpected(const std::string& path, const std::string& why) {
    Refuse(path, "", "campo não cabe aqui: " + why);
  }

 private:
  static std::string Between(size_t min, size_t max, const char* unit) {
    if (min == max) return "deve ter " + std::to_string(min) + " " + unit;
    return "deve ter de " + std::to_string(min) + " a " + std::to_string(max) + " " + unit;
  }
  static std::string Shown(const std::string& value) {
    return value.size() > 20 ? value.substr(0, 20) + "..." : value;
  }
  Refusals* out_;
};

void CheckIde(Checker& c, const Ide& ide) {
  if (c.Digits("ide.CNPJ", ide.CNPJ, {14}, true, rejection::kSoftwareHouseCnpj) &&
      !ValidCnpj(ide.CNPJ)) {
    c.Refuse("ide.CNPJ", rejection::kSoftwareHouseCnpj,
             "CNPJ da software house inválido (dígitos verificadores)");
  }
  c.Text("ide.signAC", ide.signAC, 1, 344, true);
  c.Digits("ide.numeroCaixa", ide.numeroCaixa, {3}, true, rejection::kRegister);
}

void CheckBuyer(Checker& c, const Dest& dest) {
  if (!dest.CPF.empty() && !dest.CNPJ.empty()) {
    c.Unexpected("dest.CNPJ", "informe CPF ou CNPJ do comprador, não os dois");
  }
  if (c.Digits("dest.CPF", dest.CPF, {11}, false, rejection::kBuyerCpf) && !dest.CPF.empty() &&
      !ValidCpf(dest.CPF)) {
    c.Refuse("dest.CPF", rejection::kBuyerCpf, "CPF do comprador inválido (dígitos verificadores)");
  }
  if (c.Digits("dest.CNPJ", dest.CNPJ, {14}, false, rejection::kBuyerCnpj) && !dest.CNPJ.empty() &&
      !ValidCnpj(dest.CNPJ)) {
    c.Refuse("dest.CNPJ", rejection::kBuyerCnpj,
             "CNPJ do comprador inválido (dígitos verificadores)");
  }
}

void CheckHeader(Checker& c, const Sale& sale) {
  CheckIde(c, sale.ide);
  const Emit& emit = sale.emit;
  if (c.Digits("emit.CNPJ", emit.CNPJ, {14}, true, rejection::kEmitterCnpj) &&
      !ValidCnpj(emit.CNPJ)) {
    c.Refuse("emit.CNPJ", rejection::kEmitterCnpj,
             "CNPJ do emitente inválido (dígitos verificadores)");
  }
  c.Digits("emit.IE", emit.IE, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, true);
  // A service item needs the emitter's municipal registration and ISSQN regime.
  const bool services = std::any_of(sale.det.begin(), sale.det.end(),
                                    [](const Det& det) { return det.imposto.ISSQN.has_value(); });
  c.Text("emit.IM", emit.IM, 1, 15, false);
  if (services && emit.IM.empty()) {
    c.Refuse("emit.IM", rejection::kMunicipalRegistration,
             "inscrição municipal obrigatória com item de serviço (ISSQN)");
  }
  c.OneOf("emit.cRegTribISSQN", emit.cRegTribISSQN, {"1", "2", "3", "4", "5", "6"}, services,
          rejection::kServiceRegime);
  c.OneOf("emit.indRatISSQN", emit.indRatISSQN, {"S", "N"}, true);
  CheckBuyer(c, sale.dest);
  c.Text("dest.xNome", sale.dest.xNome, 1, 60, false);
  if (sale.entrega) {
    const Entrega& e = *sale.entrega;
    c.Text("entrega.xLgr", e.xLgr, 2, 60, true);
    c.Text("entrega.nro", e.nro, 1, 60, true);
    c.Text("entrega.xCpl", e.xCpl, 1, 60, false);
    c.Text("entrega.xBairro", e.xBairro, 1, 60, true);
    c.Text("entrega.xMun", e.xMun, 2, 60, true);
    c.OneOf("entrega.UF", e.UF, kStates, true);
  }
}

void CheckProduct(Checker& c, const std::string& at, const Prod& p) {
  c.Text(at + "cProd", p.cProd, 1, 60, true);
  if (!p.cEAN.empty() && !ValidGtin(p.cEAN)) {
    c.Refuse(at + "cEAN", "", "GTIN inválido: 8, 12, 13 ou 14 dígitos com o dígito verificador");
  }
  c.Text(at + "xProd", p.xProd, 1, 120, true);
  c.Digits(at + "NCM", p.NCM, {2, 8}, false, rejection::kNcm);
  c.Digits(at + "CEST", p.CEST, {7}, false);
  // A sale to the consumer inside the state: CFOP 5xxx.
  if (c.Digits(at + "CFOP", p.CFOP, {4}, true, rejection::kCfop) && p.CFOP[0] != '5') {
    c.Refuse(at + "CFOP", rejection::kCfop, "CFOP de venda ao consumidor começa por 5");
  }
  c.Text(at + "uCom", p.uCom, 1, 6, true);
  c.Amount(at + "qCom", p.qCom, 11, kQuantity, true, true, rejection::kQuantity);
  c.Amount(at + "vUnCom", p.vUnCom, 9, kUnitPrice, true, false, rejection::kUnitPrice);
  c.OneOf(at + "indRegra", p.indRegra, {"A", "T"}, true);
  c.Amount(at + "vDesc", p.vDesc, 13, kMoney, false);
  c.Amount(at + "vOutro", p.vOutro, 13, kMoney, false);
  if (p.obsFiscoDet.size() > 10) c.Refuse(at + "obsFiscoDet", "", "no máximo 10 observações");
  for (size_t i = 0; i < p.obsFiscoDet.size(); ++i) {
    const std::string obs = at + "obsFiscoDet[" + std::to_string(i + 1) + "].";
    c.Text(obs + "xCampoDet", p.obsFiscoDet[i].xCampoDet, 1, 20, true);
    c.Text(obs + "xTextoDet", p.obsFiscoDet[i].xTextoDet, 1, 60, true);
  }
}

void CheckIcms(Checker& c, const std::string& at, const Icms& icms) {
  using G = Icms::Group;
  c.OneOf(at + "Orig", icms.Orig, {"0", "1", "2", "3", "4", "5", "6", "7", "8"}, true);
  const bool simples = icms.group == G::kICMSSN102 || icms.group == G::kICMSSN900;
  if (simples) {
    if (!icms.CST.empty()) c.Unexpected(at + "CST", "o grupo do Simples Nacional usa CSOSN");
    static const Codes kSN102 = {"102", "300", "400", "500"}, kSN900 = {"900"};
    c.OneOf(at + "CSOSN", icms.CSOSN, icms.group == G::kICMSSN102 ? kSN102 : kSN900, true);
  } else {
    if (!icms.CSOSN.empty()) c.Unexpected(at + "CSOSN", "o grupo do regime normal usa CST");
    static const Codes k00 = {"00", "20", "90"}, k40 = {"40", "41", "50", "60"};
    c.OneOf(at + "CST", icms.CST, icms.group == G::kICMS00 ? k00 : k40, true);
  }
  const bool rated = icms.group == G::kICMS00 || icms.group == G::kICMSSN900;
  if (rated) {
    c.Amount(at + "pICMS", icms.pICMS, 3, kPercent, true);
  } else if (icms.pICMS) {
    c.Unexpected(at + "pICMS", "este grupo de ICMS não tem alíquota");
  }
}

// vBC with the rate, or qBCProd with vAliqProd: one pair, whole.
void CheckBasis(Checker& c, const std::string& at, const char* rate,
                const std::optional<int64_t>& vBC, const std::optional<int64_t>& percent,
                const std::optional<int64_t>& qBCProd, const std::optional<int64_t>& vAliqProd,
                bool by_value, bool by_quantity) {
  const bool value = vBC || percent, quantity = qBCProd || vAliqProd;
  if ((value && !by_value) || (quantity && !by_quantity) || (value && quantity) ||
      (!value && !quantity)) {
    std::string expected = by_value && by_quantity
                               ? std::string("vBC e ") + rate + ", ou qBCProd e vAliqProd"
                           : by_value ? std::string("vBC e ") + rate
                                      : std::string("qBCProd e vAliqProd");
    c.Refuse(at.substr(0, at.size() - 1), "", "informe " + expected);
    return;
  }
  if (value) {
    c.Amount(at + "vBC", vBC, 13, kMoney, true);
    c.Amount(at + rate, percent, 1, kFraction, true);
  } else {
    c.Amount(at + "qBCProd", qBCProd, 12, kQuantity, true);
    c.Amount(at + "vAliqProd", vAliqProd, 11, kFraction, true);
  }
}

void CheckContribution(Checker& c, const std::string& at, const std::string& tax,
                       const Contribution& x) {
  using G = Contribution::Group;
  static const char* const kSuffixes[] = {"Aliq", "Qtde", "NT", "SN", "Outr"};
  static const Codes kAliq = {"01", "02", "05"}, kQtde = {"03"},
                     kNT = {"04", "06", "07", "08", "09"}, kSN = {"49"}, kOutr = {"99"};
  static const Codes* const kCodes[] = {&kAliq, &kQtde, &kNT, &kSN, &kOutr};
  const char* suffix = kSuffixes[static_cast<int>(x.group)];
  const Codes& codes = *kCodes[static_cast<int>(x.group)];
  const std::string group = at + tax + "." + tax + suffix + ".";
  c.OneOf(group + "CST", x.CST, codes, true);
  const std::string rate = "p" + tax;
  if (x.group == G::kNT || x.group == G::kSN) {
    if (x.vBC || x.rate || x.qBCProd || x.vAliqProd) {
      c.Unexpected(group.substr(0, group.size() - 1), "este grupo não tem base nem alíquota");
    }
    return;
  }
  CheckBasis(c, group, rate.c_str(), x.vBC, x.rate, x.qBCProd, x.vAliqProd, x.group != G::kQtde,
             x.group != G::kAliq);
}

void CheckIssqn(Checker& c, const std::string& at, const Issqn& s) {
  c.Amount(at + "vDeducISSQN", s.vDeducISSQN, 13, kMoney, true);
  c.Amount(at + "vAliq", s.vAliq, 3, kPercent, true, false, rejection::kServiceRate);
  c.Digits(at + "cMunFG", s.cMunFG, {7}, false, rejection::kServiceCity);
  if (!s.cListServ.empty() && (s.cListServ.size() != 5 || s.cListServ[2] != '.' ||
                               !AllDigits(s.cListServ.substr(0, 2) + s.cListServ.substr(3)))) {
    c.Refuse(at + "cListServ", rejection::kServiceListItem,
             "item da lista de serviços no formato 99.99");
  }
  c.Text(at + "cServTribMun", s.cServTribMun, 1, 20, false);
  // Left out, they are missing elements (1999); sent, values with their own codes.
  if (s.cNatOp.empty()) c.Missing(at + "cNatOp");
  c.OneOf(at + "cNatOp", s.cNatOp, {"01", "02", "03", "04", "05", "06", "07", "08"}, false,
          rejection::kServiceNature);
  if (s.indIncFisc.empty()) c.Missing(at + "indIncFisc");
  c.OneOf(at + "indIncFisc", s.indIncFisc, {"1", "2"}, false, rejection::kServiceIncentive);
}

void CheckTaxes(Checker& c, const std::string& at, const Imposto& tax) {
  c.Amount(at + "vItem12741", tax.vItem12741, 13, kMoney, false);
  if (tax.ICMS && tax.ISSQN) c.Unexpected(at + "ISSQN", "o item tem ICMS ou ISSQN, não os dois");
  if (!tax.ICMS && !tax.ISSQN) c.Refuse(at + "ICMS", "", "informe o grupo de ICMS (ou de ISSQN)");
  if (tax.ICMS) {
    static const char* kNames[] = {"ICMS00", "ICMS40", "ICMSSN102", "ICMSSN900"};
    CheckIcms(c, at + "ICMS." + kNames[static_cast<int>(tax.ICMS->group)] + ".", *tax.ICMS);
  }
  if (tax.ISSQN) CheckIssqn(c, at + "ISSQN.", *tax.ISSQN);
  CheckContribution(c, at, "PIS", tax.PIS);
  CheckContribution(c, at, "COFINS", tax.COFINS);
  for (auto [name, st] : {std::pair{"PIS", &tax.PISST}, {"COFINS", &tax.COFINSST}}) {
    if (!*st) continue;
    const std::string rate = std::string("p") + name;
    const std::string group = at + name + "ST.";
    CheckBasis(c, group, rate.c_str(), (*st)->vBC, (*st)->rate, (*st)->qBCProd, (*st)->vAliqProd,
               true, true);
  }
}

void CheckItems(Checker& c, const Sale& sale) {
  if (sale.det.empty() || sale.det.size() > kMaxItems) {
    c.Refuse("det", "",
             "a venda deve ter de 1 a " + std::to_string(kMaxItems) + " itens (tem " +
                 std::to_string(sale.det.size()) + ")");
  }
  for (size_t i = 0; i < sale.det.size(); ++i) {
    const std::string at = "det[" + std::to_string(i + 1) + "].";
    CheckProduct(c, at + "prod.", sale.det[i].prod);
    CheckTaxes(c, at + "imposto.", sale.det[i].imposto);
    c.Text(at + "infAdProd", sale.det[i].infAdProd, 1, 500, false);
  }
}

void CheckPayments(Checker& c, const Sale& sale) {
  if (sale.total.vDescSubtot && sale.total.vAcresSubtot) {
    c.Unexpected("total.DescAcrEntr", "desconto ou acréscimo sobre o subtotal, não os dois");
  }
  c.Amount("total.DescAcrEntr.vDescSubtot", sale.total.vDescSubtot, 13, kMoney, false);
  c.Amount("total.DescAcrEntr.vAcresSubtot", sale.total.vAcresSubtot, 13, kMoney, false);
  c.Amount("total.vCFeLei12741", sale.total.vCFeLei12741, 13, kMoney, false);
  if (sale.pgto.empty() || sale.pgto.size() > kMaxPayments) {
    c.Refuse("pgto.MP", "",
             "a venda deve ter de 1 a " + std::to_string(kMaxPayments) +
                 " meios de pagamento (tem " + std::to_string(sale.pgto.size()) + ")");
  }
  const bool current = sale.versaoDadosEnt == Version::k008;
  for (size_t i = 0; i < sale.pgto.size(); ++i) {
    const MP& mp = sale.pgto[i];
    const std::string at = "pgto.MP[" + std::to_string(i + 1) + "].";
    if (mp.cMP.empty()) {
      c.Missing(at + "cMP", rejection::kPaymentCode);
    } else if (!In(kPayments007, mp.cMP) && !(current && In(kPayments008, mp.cMP))) {
      c.Refuse(at + "cMP", rejection::kPaymentCode,
               "meio de pagamento \"" + mp.cMP + "\" inválido na versão " +
                   VersionText(sale.versaoDadosEnt) + ": use " + List(kPayments007) +
                   (current ? ", " + List(kPayments008) : std::string()));
    }
    c.Amount(at + "vMP", mp.vMP, 13, kMoney, true);
    c.Digits(at + "cAdmC", mp.cAdmC, {3}, false);
  }
  c.Text("infAdic.infCpl", sale.infCpl, 1, 5000, false);
}

// A refusal of a value the totals are made of.
bool RefusesAmount(const Refusal& refusal) {
  static const Codes kAmounts = {
      "qCom",      "vUnCom",     "vDesc",        "vOutro",      "vDescSubtot", "vAcresSubtot",
      "vMP",       "pICMS",      "vBC",          "pPIS",        "pCOFINS",     "qBCProd",
      "vAliqProd", "vItem12741", "vCFeLei12741", "DescAcrEntr", "vDeducISSQN", "vAliq"};
  const size_t dot = refusal.path.rfind('.');
  return refusal.path == "pgto.MP" ||
         In(kAmounts, dot == std::string::npos ? refusal.path : refusal.path.substr(dot + 1));
}

}  // namespace

const char* VersionText(Version version) {
  return version == Version::k007 ? "0.07" : "0.08";
}

std::string Describe(const Refusal& refusal) {
  return (refusal.path.empty() ? "" : refusal.path + ": ") + refusal.message +
         (refusal.code.empty() ? "" : " (" + refusal.code + ")");
}

void AddNew(Refusals* to, const Refusals& more) {
  const size_t known = to->size();
  for (const Refusal& refusal : more) {
    const bool covered = std::any_of(to->begin(), to->begin() + known, [&](const Refusal& r) {
      return refusal.path == r.path || refusal.path.starts_with(r.path + ".") ||
             refusal.path.starts_with(r.path + "[");
    });
    if (!covered) to->push_back(refusal);
  }
}

Refusals Check(const Sale& sale, const Refusals& earlier) {
  Refusals refusals;
  Checker c(&refusals);
  CheckHeader(c, sale);
  CheckItems(c, sale);
  CheckPayments(c, sale);
  if (std::none_of(refusals.begin(), refusals.end(), RefusesAmount) &&
      std::none_of(earlier.begin(), earlier.end(), RefusesAmount)) {
    ComputeTotals(sale, &refusals);
  }
  return refusals;
}

Refusals Check(const Cancellation& cancellation) {
  Refusals refusals;
  Checker c(&refusals);
  const std::string& key = cancellation.chCanc;
  if (key.size() != 47 || !key.starts_with("CFe") || !AllDigits(key.substr(3))) {
    c.Refuse("chCanc", "", "chave do CF-e a cancelar: \"CFe\" seguido dos 44 dígitos");
  }
  CheckIde(c, cancellation.ide);
  CheckBuyer(c, cancellation.dest);
  return refusals;
}

}  // namespace kovrad::cfe
