#include "sale_document.h"

#include <algorithm>

#include "text.h"

namespace satemu {
namespace {

constexpr Source R = Source::kRequired, O = Source::kOptional, N = Source::kRepeated,
                 D = Source::kDevice;

const GroupLayout kRoot = {{"infCFe", R}};
const GroupLayout kInf = {{"ide", R}, {"emit", R},  {"dest", R}, {"entrega", O},
                          {"det", N}, {"total", R}, {"pgto", R}, {"infAdic", O}};
const GroupLayout kIde = {{"cUF", D},        {"cNF", D},  {"mod", D},    {"nserieSAT", D},
                          {"nCFe", D},       {"dEmi", D}, {"hEmi", D},   {"cDV", D},
                          {"tpAmb", D},      {"CNPJ", R}, {"signAC", R}, {"assinaturaQRCODE", D},
                          {"numeroCaixa", R}};
const GroupLayout kEmit = {{"CNPJ", R},       {"xNome", D}, {"xFant", D},    {"enderEmit", D},
                           {"IE", R},         {"IM", O},    {"cRegTrib", D}, {"cRegTribISSQN", O},
                           {"indRatISSQN", R}};
const GroupLayout kDest = {{"CNPJ", O}, {"CPF", O}, {"xNome", O}};
const GroupLayout kDelivery = {{"xLgr", R},    {"nro", R},  {"xCpl", O},
                               {"xBairro", R}, {"xMun", R}, {"UF", R}};
const GroupLayout kDet = {{"prod", R}, {"imposto", R}, {"infAdProd", O}};
const GroupLayout kProd = {
    {"cProd", R},  {"cEAN", O},  {"xProd", R},    {"NCM", O},     {"CEST", O},       {"CFOP", R},
    {"uCom", R},   {"qCom", R},  {"vUnCom", R},   {"vProd", D},   {"indRegra", R},   {"vDesc", O},
    {"vOutro", O}, {"vItem", D}, {"vRatDesc", D}, {"vRatAcr", D}, {"obsFiscoDet", N}};
const GroupLayout kTaxes = {{"vItem12741", O}, {"ICMS", O},     {"PIS", R},  {"PISST", O},
                            {"COFINS", R},     {"COFINSST", O}, {"ISSQN", O}};
const GroupLayout kIssqn = {{"vDeducISSQN", R},  {"vBC", D},    {"vAliq", R},
                            {"vISSQN", D},       {"cMunFG", O}, {"cListServ", O},
                            {"cServTribMun", O}, {"cNatOp", R}, {"indIncFisc", R}};
const GroupLayout kTotal = {
    {"ICMSTot", D}, {"vCFe", D}, {"ISSQNtot", D}, {"DescAcrEntr", O}, {"vCFeLei12741", O}};
const GroupLayout kSubtotal = {{"vDescSubtot", O}, {"vAcresSubtot", O}};
const GroupLayout kPayments = {{"MP", N}, {"vTroco", D}};
const GroupLayout kPayment = {{"cMP", R}, {"vMP", R}, {"cAdmC", O}, {"cAut", O}};
const GroupLayout kExtra = {{"infCpl", O}};

// A group that holds exactly one of several kinds (ICMS holds ICMS00...).
struct Kind {
  std::string name;
  GroupLayout layout;
  std::vector<std::string_view> codes;  // accepted CST or CSOSN
};

const std::vector<Kind> kIcmsKinds = {
    {"ICMS00", {{"Orig", R}, {"CST", R}, {"pICMS", R}, {"vICMS", D}}, {"00", "20", "90"}},
    {"ICMS40", {{"Orig", R}, {"CST", R}}, {"40", "41", "50", "60"}},
    {"ICMSSN102", {{"Orig", R}, {"CSOSN", R}}, {"102", "300", "400", "500"}},
    {"ICMSSN900", {{"Orig", R}, {"CSOSN", R}, {"pICMS", R}, {"vICMS", D}}, {"900"}},
};

// PIS and COFINS share one layout under their own names.
struct ContributionTax {
  std::string group, rate, value;  // PIS, pPIS, vPIS
  std::vector<Kind> kinds;
  GroupLayout substitution;  // the PISST group
};

ContributionTax MakeContributionTax(const std::string& tax) {
  const std::string rate = "p" + tax, value = "v" + tax;
  const GroupLayout either = {{"CST", R},     {"vBC", O},       {rate, O},
                              {"qBCProd", O}, {"vAliqProd", O}, {value, D}};
  return {tax,
          rate,
          value,
          {
              {tax + "Aliq", {{"CST", R}, {"vBC", R}, {rate, R}, {value, D}}, {"01", "02", "05"}},
              {tax + "Qtde", {{"CST", R}, {"qBCProd", R}, {"vAliqProd", R}, {value, D}}, {"03"}},
              {tax + "NT", {{"CST", R}}, {"04", "06", "07", "08", "09"}},
              {tax + "SN", {{"CST", R}}, {"49"}},
              {tax + "Outr", either, {"99"}},
          },
          {{"vBC", O}, {rate, O}, {"qBCProd", O}, {"vAliqProd", O}, {value, D}}};
}

const ContributionTax& Pis() {
  static const ContributionTax tax = MakeContributionTax("PIS");
  return tax;
}

const ContributionTax& Cofins() {
  static const ContributionTax tax = MakeContributionTax("COFINS");
  return tax;
}

// Payment means (cMP): cash, cheque, cards, store credit, vouchers, bank
// payments and transfers, loyalty, none, others.
constexpr std::string_view kPaymentCodes[] = {"01", "02", "03", "04", "05", "10", "11", "12",
                                              "13", "15", "16", "17", "18", "19", "90", "99"};

bool ReadGroup(xmlNode* element, const GroupLayout& layout, Group* group, std::string* error) {
  return group->Read(element, &layout, error);
}

// The one kind inside `wrapper`, read against its layout.
const Kind* ReadKind(xmlNode* wrapper, const std::vector<Kind>& kinds, Group* group,
                     std::string* error) {
  xmlNode* child = wrapper->children;
  const std::string where = "<" + std::string(NodeName(wrapper)) + ">";
  if (child == nullptr || child->next != nullptr || child->type != XML_ELEMENT_NODE) {
    *error = where + " deve conter um só grupo de tributação";
    return nullptr;
  }
  const auto kind = std::find_if(kinds.begin(), kinds.end(),
                                 [&](const Kind& k) { return k.name == NodeName(child); });
  if (kind == kinds.end()) {
    *error = "grupo <" + std::string(NodeName(child)) + "> não esperado em " + where;
    return nullptr;
  }
  if (!ReadGroup(child, kind->layout, group, error)) return nullptr;
  return &*kind;
}

bool ReadCode(const Group& group, const Kind& kind, const char* field, std::string* error) {
  GroupReader read(group, error);
  std::string code;
  if (!read.Text(field, 1, 3, &code)) return false;
  if (std::find(kind.codes.begin(), kind.codes.end(), code) == kind.codes.end()) {
    return read.Fail("valor inválido em <" + std::string(field) + "> de <" + kind.name + ">: \"" +
                     Printable(code, 10) + "\"");
  }
  return true;
}

// vBC with the rate, or qBCProd with vAliqProd: one pair, whole.
bool ReadContribution(const Group& group, const ContributionTax& tax, Contribution* out,
                      std::string* error) {
  GroupReader read(group, error);
  int64_t base = 0, rate = 0, quantity = 0, per_unit = 0;
  if (!read.Decimal("vBC", 13, 2, false, &base) ||
      !read.Decimal(tax.rate.c_str(), 1, 4, false, &rate) ||
      !read.Decimal("qBCProd", 12, 4, false, &quantity) ||
      !read.Decimal("vAliqProd", 11, 4, false, &per_unit)) {
    return false;
  }
  const bool by_value = group.Get("vBC") != nullptr || group.Get(tax.rate) != nullptr;
  const bool by_quantity = group.Get("qBCProd") != nullptr || group.Get("vAliqProd") != nullptr;
  const bool value_whole = group.Get("vBC") != nullptr && group.Get(tax.rate) != nullptr;
  const bool quantity_whole = group.Get("qBCProd") != nullptr && group.Get("vAliqProd") != nullptr;
  if (by_value == by_quantity || (by_value && !value_whole) || (by_quantity && !quantity_whole)) {
    return read.Fail("<" + std::string(group.name()) + "> deve ter vBC e " + tax.rate +
                     ", ou qBCProd e vAliqProd");
  }
  *out = by_value ? Contribution{Contribution::Basis::kValue, base, rate}
                  : Contribution{Contribution::Basis::kQuantity, quantity, per_unit};
  return true;
}

bool ReadTax(const SaleItem& item, const ContributionTax& tax, Group* group, Contribution* value,
             std::string* error) {
  const Kind* kind = ReadKind(item.imposto.Get(tax.group), tax.kinds, group, error);
  if (kind == nullptr || !ReadCode(*group, *kind, "CST", error)) return false;
  const bool computed = std::any_of(kind->layout.begin(), kind->layout.end(),
                                    [](const Slot& slot) { return slot.source == D; });
  if (!computed) return true;
  return ReadContribution(*group, tax, value, error);
}

bool ReadSubstitution(const SaleItem& item, const ContributionTax& tax, std::optional<Group>* group,
                      Contribution* value, std::string* error) {
  xmlNode* element = item.imposto.Get(tax.group + "ST");
  if (element == nullptr) return true;
  group->emplace();
  return ReadGroup(element, tax.substitution, &**group, error) &&
         ReadContribution(**group, tax, value, error);
}

bool ReadProduct(const Group& prod, ItemValues* values, std::string* error) {
  GroupReader read(prod, error);
  std::string text, rule;
  std::string ncm, cfop;
  if (!read.Text("cProd", 1, 60, &text) || !read.Digits("cEAN", 0, 14, &text) ||
      !read.Text("xProd", 1, 120, &text) || !read.Digits("CEST", 0, 7, &text) ||
      !read.Text("uCom", 1, 6, &text) || !read.OneOf("indRegra", {"A", "T"}, &rule) ||
      !read.Decimal("vDesc", 13, 2, false, &values->discount) ||
      !read.Decimal("vOutro", 13, 2, false, &values->other)) {
    return false;
  }
  // NCM: the full eight digits, or the two of the product's chapter.
  if (!read.Digits("NCM", 0, 8, &ncm) || (ncm.size() != 0 && ncm.size() != 2 && ncm.size() != 8)) {
    return read.Fail("NCM deve ter 2 ou 8 dígitos"), Reject(rejection::kNcm, error);
  }
  // A sale to the consumer inside the state: CFOP 5xxx.
  if (!read.Digits("CFOP", 4, 4, &cfop) || cfop[0] != '5') {
    return read.Fail("CFOP deve ter 4 dígitos e começar por 5"), Reject(rejection::kCfop, error);
  }
  if (!read.Decimal("qCom", 11, 4, true, &values->quantity)) {
    return Reject(rejection::kQuantity, error);
  }
  if (!read.Decimal("vUnCom", 9, 3, true, &values->unit_price)) {
    return Reject(rejection::kUnitPrice, error);
  }
  if (values->quantity == 0) {
    return read.Fail("quantidade zero em <qCom>"), Reject(rejection::kQuantity, error);
  }
  values->rounding = rule == "T" ? Rounding::kTruncate : Rounding::kAbnt;
  return true;
}

// A list of services item: two digits, a point, two digits (14.01).
bool ServiceListItem(std::string_view text) {
  return text.size() == 5 && text[2] == '.' && AllDigits(text.substr(0, 2)) &&
         AllDigits(text.substr(3));
}

bool ReadServiceTax(const Group& issqn, ServiceTax* out, std::string* error) {
  GroupReader read(issqn, error);
  std::string text;
  if (!read.Decimal("vDeducISSQN", 13, 2, true, &out->deduction)) return false;
  if (!read.Decimal("vAliq", 3, 2, true, &out->rate)) {
    return Reject(rejection::kServiceRate, error);
  }
  if (!read.Digits("cMunFG", 0, 7, &text) || (!text.empty() && text.size() != 7)) {
    return read.Fail("cMunFG deve ter os 7 dígitos do município"),
           Reject(rejection::kServiceCity, error);
  }
  if (!read.Text("cListServ", 0, 5, &text) || (!text.empty() && !ServiceListItem(text))) {
    return read.Fail("cListServ deve ser um item da lista de serviços (99.99)"),
           Reject(rejection::kServiceListItem, error);
  }
  if (!read.Text("cServTribMun", 0, 20, &text)) return false;
  if (!read.OneOf("cNatOp", {"01", "02", "03", "04", "05", "06", "07", "08"}, &text)) {
    return Reject(rejection::kServiceNature, error);
  }
  if (!read.OneOf("indIncFisc", {"1", "2"}, &text)) {
    return Reject(rejection::kServiceIncentive, error);
  }
  return true;
}

// ICMS, or ISSQN on a service item: one of the two.
bool ReadItemTax(const Group& taxes, size_t number, SaleItem* item, ItemValues* values,
                 std::string* error) {
  const std::string where = " em <imposto> do item " + std::to_string(number);
  if (taxes.Get("ICMS") != nullptr && taxes.Get("ISSQN") != nullptr) {
    *error = "<ICMS> e <ISSQN> juntos" + where + ": o item tem um ou outro";
    return false;
  }
  if (taxes.Get("ISSQN") != nullptr) {
    item->issqn.emplace();
    return ReadGroup(taxes.Get("ISSQN"), kIssqn, &*item->issqn, error) &&
           ReadServiceTax(*item->issqn, &values->service.emplace(), error);
  }
  if (taxes.Get("ICMS") == nullptr) {
    *error = "elemento <ICMS> ausente" + where;
    return false;
  }
  std::string origin;
  Group& group = item->icms.emplace();
  const Kind* icms = ReadKind(taxes.Get("ICMS"), kIcmsKinds, &group, error);
  if (icms == nullptr ||
      !ReadCode(group, *icms, icms->name.starts_with("ICMSSN") ? "CSOSN" : "CST", error) ||
      !GroupReader(group, error)
           .OneOf("Orig", {"0", "1", "2", "3", "4", "5", "6", "7", "8"}, &origin)) {
    return false;
  }
  if (group.Get("pICMS") != nullptr) {
    int64_t rate = 0;
    if (!GroupReader(group, error).Decimal("pICMS", 3, 2, true, &rate)) return false;
    values->icms_rate = rate;
  }
  return true;
}

bool ReadItem(xmlNode* det, size_t number, SaleItem* item, ItemValues* values, std::string* error) {
  std::string attribute;
  if (!Attribute(det, "nItem", &attribute) || attribute != std::to_string(number)) {
    *error =
        "<det> " + std::to_string(number) + " deve ter nItem=\"" + std::to_string(number) + "\"";
    return false;
  }
  if (!ReadGroup(det, kDet, &item->det, error) ||
      !ReadGroup(item->det.Get("prod"), kProd, &item->prod, error) ||
      !ReadGroup(item->det.Get("imposto"), kTaxes, &item->imposto, error) ||
      !ReadProduct(item->prod, values, error)) {
    return false;
  }
  const Group& taxes = item->imposto;
  int64_t ignored = 0;
  if (!GroupReader(taxes, error).Decimal("vItem12741", 13, 2, false, &ignored)) return false;
  return ReadItemTax(taxes, number, item, values, error) &&
         ReadTax(*item, Pis(), &item->pis, &values->pis, error) &&
         ReadSubstitution(*item, Pis(), &item->pis_st, &values->pis_st, error) &&
         ReadTax(*item, Cofins(), &item->cofins, &values->cofins, error) &&
         ReadSubstitution(*item, Cofins(), &item->cofins_st, &values->cofins_st, error);
}

bool ReadEmitter(Sale* sale, std::string* error) {
  GroupReader read(sale->emit, error);
  std::string text;
  if (!read.Digits("CNPJ", 14, 14, &sale->emitter_cnpj) ||
      !read.Digits("IE", 2, 14, &sale->emitter_ie) ||
      !read.OneOf("indRatISSQN", {"S", "N"}, &text)) {
    return false;
  }
  sale->values.services_share = text == "S";
  if (!ValidCnpj(sale->emitter_cnpj)) {
    return read.Fail("CNPJ do emitente inválido"), Reject(rejection::kEmitterCnpj, error);
  }
  return true;
}

// The emitter's municipal registration and ISSQN regime: optional, and
// required once an item is a service.
bool ReadServiceEmitter(const Sale& sale, std::string* error) {
  GroupReader read(sale.emit, error);
  const bool services = std::any_of(sale.items.begin(), sale.items.end(),
                                    [](const SaleItem& item) { return item.issqn.has_value(); });
  std::string registration, regime;
  if (!read.Text("IM", 0, 15, &registration)) {
    return Reject(rejection::kMunicipalRegistration, error);
  }
  if (services && registration.empty()) {
    return read.Fail("inscrição municipal <IM> do emitente obrigatória com item de serviço"),
           Reject(rejection::kMunicipalRegistration, error);
  }
  if (sale.emit.Get("cRegTribISSQN") == nullptr && !services) return true;
  if (sale.emit.Get("cRegTribISSQN") == nullptr) {
    return read.Fail("regime especial do ISSQN <cRegTribISSQN> obrigatório com item de serviço"),
           Reject(rejection::kServiceRegime, error);
  }
  if (!read.OneOf("cRegTribISSQN", {"1", "2", "3", "4", "5", "6"}, &regime)) {
    return Reject(rejection::kServiceRegime, error);
  }
  return true;
}

bool ReadTotals(Sale* sale, std::string* error) {
  int64_t ignored = 0;
  if (!GroupReader(sale->total, error).Decimal("vCFeLei12741", 13, 2, false, &ignored)) {
    return false;
  }
  xmlNode* adjustment = sale->total.Get("DescAcrEntr");
  if (adjustment == nullptr) return true;
  Group subtotal;
  if (!ReadGroup(adjustment, kSubtotal, &subtotal, error)) return false;
  GroupReader read(subtotal, error);
  if ((subtotal.Get("vDescSubtot") == nullptr) == (subtotal.Get("vAcresSubtot") == nullptr)) {
    return read.Fail("<DescAcrEntr> deve ter vDescSubtot ou vAcresSubtot");
  }
  return read.Decimal("vDescSubtot", 13, 2, false, &sale->values.subtotal_discount) &&
         read.Decimal("vAcresSubtot", 13, 2, false, &sale->values.subtotal_charge);
}

bool ReadPayments(Sale* sale, std::string* error) {
  const auto& payments = sale->pgto.All("MP");
  if (payments.empty() || payments.size() > kMaxPayments) {
    *error = "<pgto> deve ter de 1 a " + std::to_string(kMaxPayments) + " meios de pagamento";
    return false;
  }
  for (xmlNode* element : payments) {
    Group payment;
    std::string code;
    int64_t value = 0;
    if (!ReadGroup(element, kPayment, &payment, error)) return false;
    GroupReader read(payment, error);
    if (!read.Digits("cMP", 2, 2, &code) ||
        std::find(std::begin(kPaymentCodes), std::end(kPaymentCodes), code) ==
            std::end(kPaymentCodes)) {
      return read.Fail("meio de pagamento <cMP> inválido: \"" + Printable(code, 10) + "\""),
             Reject(rejection::kPaymentCode, error);
    }
    if (!read.Decimal("vMP", 13, 2, true, &value) || !read.Digits("cAdmC", 0, 3, &code)) {
      return false;
    }
    sale->values.payments.push_back(value);
  }
  return true;
}

}  // namespace

bool Reject(const char* code, std::string* error) {
  *error = std::string(code) + " " + *error;
  return false;
}

void SplitRejection(std::string_view reason, std::string* code, std::string* text) {
  const bool coded = reason.size() > 5 && reason[4] == ' ' && AllDigits(reason.substr(0, 4));
  *code = coded ? std::string(reason.substr(0, 4)) : rejection::kUnidentified;
  *text = std::string(coded ? reason.substr(5) : reason);
}

bool ValidCpf(std::string_view cpf) {
  if (cpf.size() != 11 || !AllDigits(cpf)) return false;
  if (std::all_of(cpf.begin(), cpf.end(), [&](char c) { return c == cpf[0]; })) return false;
  for (size_t count : {9u, 10u}) {
    int sum = 0;
    for (size_t i = 0; i < count; ++i) sum += (cpf[i] - '0') * static_cast<int>(count + 1 - i);
    const int digit = sum * 10 % 11 % 10;
    if (digit != cpf[count] - '0') return false;
  }
  return true;
}

bool ReadBuyer(const Group& dest, std::string* buyer, std::string* error) {
  GroupReader read(dest, error);
  std::string cpf, cnpj, name;
  if (!read.Digits("CPF", 0, 11, &cpf) || !read.Digits("CNPJ", 0, 14, &cnpj) ||
      !read.Text("xNome", 0, 60, &name)) {
    return false;
  }
  if (dest.Get("CPF") != nullptr && dest.Get("CNPJ") != nullptr) {
    return read.Fail("<dest> deve ter CPF ou CNPJ, não os dois");
  }
  if (dest.Get("CPF") != nullptr && !ValidCpf(cpf)) {
    return read.Fail("CPF do destinatário inválido"), Reject(rejection::kBuyerCpf, error);
  }
  if (dest.Get("CNPJ") != nullptr && !ValidCnpj(cnpj)) {
    return read.Fail("CNPJ do destinatário inválido"), Reject(rejection::kBuyerCnpj, error);
  }
  *buyer = cpf + cnpj;
  return true;
}

bool ReadSoftwareHouse(const Group& ide, std::string* cnpj, std::string* signature,
                       std::string* register_number, std::string* error) {
  GroupReader read(ide, error);
  if (!read.Digits("CNPJ", 14, 14, cnpj) || !ValidCnpj(*cnpj)) {
    return read.Fail("CNPJ da software house inválido"),
           Reject(rejection::kSoftwareHouseCnpj, error);
  }
  if (!read.Text("signAC", 1, 344, signature)) return false;
  if (!read.Digits("numeroCaixa", 3, 3, register_number)) {
    return read.Fail("numeroCaixa deve ter 3 dígitos"), Reject(rejection::kRegister, error);
  }
  return true;
}

bool ReadSale(std::string_view text, Sale* sale, std::string* error) {
  error->clear();
  sale->doc = ParseXml(text, error);
  if (!sale->doc) return false;
  xmlNode* root = xmlDocGetRootElement(sale->doc.get());
  Group cfe;
  if (NodeName(root) != "CFe") {
    *error = "elemento raiz deve ser <CFe>";
    return false;
  }
  if (!ReadGroup(root, kRoot, &cfe, error) ||
      !ReadGroup(cfe.Get("infCFe"), kInf, &sale->inf, error)) {
    return false;
  }
  if (!Attribute(sale->inf.element(), "versaoDadosEnt", &sale->version) ||
      (sale->version != "0.06" && sale->version != "0.07" && sale->version != "0.08")) {
    *error = "versaoDadosEnt deve ser 0.06, 0.07 ou 0.08";
    return false;
  }
  const Group& inf = sale->inf;
  if (!ReadGroup(inf.Get("ide"), kIde, &sale->ide, error) ||
      !ReadGroup(inf.Get("emit"), kEmit, &sale->emit, error) ||
      !ReadGroup(inf.Get("dest"), kDest, &sale->dest, error) ||
      !ReadGroup(inf.Get("total"), kTotal, &sale->total, error) ||
      !ReadGroup(inf.Get("pgto"), kPayments, &sale->pgto, error) ||
      !ReadSoftwareHouse(sale->ide, &sale->software_house_cnpj, &sale->signature,
                         &sale->register_number, error) ||
      !ReadEmitter(sale, error) || !ReadBuyer(sale->dest, &sale->buyer, error)) {
    return false;
  }
  for (auto [name, layout, group] : {std::tuple{"entrega", &kDelivery, &sale->delivery},
                                     std::tuple{"infAdic", &kExtra, &sale->extra}}) {
    if (inf.Get(name) == nullptr) continue;
    group->emplace();
    if (!ReadGroup(inf.Get(name), *layout, &**group, error)) return false;
  }
  std::string note;
  if (sale->extra && !GroupReader(*sale->extra, error).Text("infCpl", 0, 5000, &note)) return false;
  const auto& items = inf.All("det");
  if (items.empty() || items.size() > kMaxItems) {
    *error = "a venda deve ter de 1 a " + std::to_string(kMaxItems) + " itens";
    return false;
  }
  sale->items.resize(items.size());
  sale->values.items.resize(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    if (!ReadItem(items[i], i + 1, &sale->items[i], &sale->values.items[i], error)) return false;
  }
  return ReadServiceEmitter(*sale, error) && ReadTotals(sale, error) && ReadPayments(sale, error);
}

}  // namespace satemu
