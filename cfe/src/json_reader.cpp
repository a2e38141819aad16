#include "cfe/json_reader.h"

#include <algorithm>
#include <initializer_list>
#include <nlohmann/json.hpp>

#include "cfe/check.h"
#include "cfe/decimal.h"
#include "cfe/totals.h"
#include "cfe/xml_writer.h"

namespace kovrad::cfe {
namespace {

using nlohmann::json;

class Reader {
 public:
  explicit Reader(Refusals* refusals) : refusals_(refusals) {}

  void Refuse(const std::string& path, std::string message, std::string code = "") {
    refusals_->push_back({path, std::move(code), std::move(message)});
  }

  // `value` as an object whose names are all in `names`; null when it is not one.
  const json* Object(const json& value, const std::string& path,
                     std::initializer_list<std::string_view> names) {
    if (!value.is_object()) {
      Refuse(path, "deve ser um objeto JSON ({...})");
      return nullptr;
    }
    for (const auto& [name, ignored] : value.items()) {
      if (std::find(names.begin(), names.end(), name) == names.end()) {
        Refuse(Join(path, name), "campo desconhecido neste grupo");
      }
    }
    return &value;
  }

  const json* Member(const json& object, const char* name) {
    const auto it = object.find(name);
    return it == object.end() || it->is_null() ? nullptr : &*it;
  }

  void Text(const json& object, const std::string& path, const char* name, std::string* out) {
    const json* value = Member(object, name);
    if (value == nullptr) return;
    if (!value->is_string()) {
      Refuse(Join(path, name), "deve ser texto, entre aspas");
      return;
    }
    *out = value->get<std::string>();
  }

  // A decimal of at most `integer` digits before the point.
  void Decimal(const json& object, const std::string& path, const char* name, int integer,
               Scale scale, std::optional<int64_t>* out, const char* code = "") {
    const json* value = Member(object, name);
    if (value == nullptr) return;
    const std::string where = Join(path, name);
    std::string text;
    if (value->is_string()) {
      text = value->get<std::string>();
    } else if (value->is_number()) {
      text = value->dump();
    } else {
      Refuse(where, "deve ser um número, como 24.90 ou \"24.90\"", code);
      return;
    }
    int64_t units = 0;
    switch (ParseDecimal(text, integer, scale, &units)) {
      case DecimalError::kNone:
        *out = units;
        return;
      case DecimalError::kFormat:
        Refuse(where,
               text.starts_with('-') ? std::string("valor negativo")
                                     : "número inválido \"" + text.substr(0, 20) +
                                           "\": use dígitos e ponto decimal, como 24.90",
               code);
        return;
      case DecimalError::kTooManyDigits:
        Refuse(where, "valor acima do limite de " + std::to_string(integer) + " dígitos inteiros",
               code);
        return;
      case DecimalError::kTooManyDecimals:
        Refuse(where, "mais de " + std::to_string(scale.decimals) + " casas decimais", code);
        return;
    }
  }
  void Decimal(const json& object, const std::string& path, const char* name, int integer,
               Scale scale, int64_t* out, const char* code = "") {
    std::optional<int64_t> value;
    Decimal(object, path, name, integer, scale, &value, code);
    if (value) *out = *value;
  }

  // The one member of `object` among `names`, as its index; -1 when there
  // is none or more than one.
  int Choice(const json& object, const std::string& path,
             std::initializer_list<std::string_view> names) {
    if (Object(object, path, names) == nullptr) return -1;
    if (object.size() != 1) {
      Refuse(path, "deve ter exatamente um destes grupos: " + Names(names));
      return -1;
    }
    const auto at = std::find(names.begin(), names.end(), object.begin().key());
    return at == names.end() ? -1 : static_cast<int>(at - names.begin());
  }

  static std::string Join(const std::string& path, std::string_view name) {
    return path.empty() ? std::string(name) : path + "." + std::string(name);
  }

 private:
  static std::string Names(std::initializer_list<std::string_view> names) {
    std::string text;
    for (std::string_view n : names) text += (text.empty() ? "" : ", ") + std::string(n);
    return text;
  }
  Refusals* refusals_;
};

void ReadIde(Reader& r, const json& j, Ide* ide) {
  if (r.Object(j, "ide", {"CNPJ", "signAC", "numeroCaixa"}) == nullptr) return;
  r.Text(j, "ide", "CNPJ", &ide->CNPJ);
  r.Text(j, "ide", "signAC", &ide->signAC);
  r.Text(j, "ide", "numeroCaixa", &ide->numeroCaixa);
}

void ReadDest(Reader& r, const json& j, Dest* dest, bool name) {
  const bool object = name ? r.Object(j, "dest", {"CNPJ", "CPF", "xNome"}) != nullptr
                           : r.Object(j, "dest", {"CNPJ", "CPF"}) != nullptr;
  if (!object) return;
  r.Text(j, "dest", "CNPJ", &dest->CNPJ);
  r.Text(j, "dest", "CPF", &dest->CPF);
  if (name) r.Text(j, "dest", "xNome", &dest->xNome);
}

void ReadEmit(Reader& r, const json& j, Emit* emit) {
  if (r.Object(j, "emit", {"CNPJ", "IE", "IM", "cRegTribISSQN", "indRatISSQN"}) == nullptr) return;
  r.Text(j, "emit", "CNPJ", &emit->CNPJ);
  r.Text(j, "emit", "IE", &emit->IE);
  r.Text(j, "emit", "IM", &emit->IM);
  r.Text(j, "emit", "cRegTribISSQN", &emit->cRegTribISSQN);
  r.Text(j, "emit", "indRatISSQN", &emit->indRatISSQN);
}

void ReadDelivery(Reader& r, const json& j, Entrega* e) {
  if (r.Object(j, "entrega", {"xLgr", "nro", "xCpl", "xBairro", "xMun", "UF"}) == nullptr) return;
  for (auto [name, field] : {std::pair{"xLgr", &e->xLgr},
                             {"nro", &e->nro},
                             {"xCpl", &e->xCpl},
                             {"xBairro", &e->xBairro},
                             {"xMun", &e->xMun},
                             {"UF", &e->UF}}) {
    r.Text(j, "entrega", name, field);
  }
}

void ReadProduct(Reader& r, const json& j, const std::string& at, Prod* p) {
  if (r.Object(j, at,
               {"cProd", "cEAN", "xProd", "NCM", "CEST", "CFOP", "uCom", "qCom", "vUnCom",
                "indRegra", "vDesc", "vOutro", "obsFiscoDet"}) == nullptr) {
    return;
  }
  for (auto [name, field] : {std::pair{"cProd", &p->cProd},
                             {"cEAN", &p->cEAN},
                             {"xProd", &p->xProd},
                             {"NCM", &p->NCM},
                             {"CEST", &p->CEST},
                             {"CFOP", &p->CFOP},
                             {"uCom", &p->uCom},
                             {"indRegra", &p->indRegra}}) {
    r.Text(j, at, name, field);
  }
  r.Decimal(j, at, "qCom", 11, kQuantity, &p->qCom, rejection::kQuantity);
  r.Decimal(j, at, "vUnCom", 9, kUnitPrice, &p->vUnCom, rejection::kUnitPrice);
  r.Decimal(j, at, "vDesc", 13, kMoney, &p->vDesc);
  r.Decimal(j, at, "vOutro", 13, kMoney, &p->vOutro);
  const json* notes = r.Member(j, "obsFiscoDet");
  if (notes == nullptr) return;
  if (!notes->is_array()) return r.Refuse(at + ".obsFiscoDet", "deve ser uma lista ([...])");
  for (size_t i = 0; i < notes->size(); ++i) {
    const std::string path = at + ".obsFiscoDet[" + std::to_string(i + 1) + "]";
    ObsFiscoDet& obs = p->obsFiscoDet.emplace_back();
    if (r.Object((*notes)[i], path, {"xCampoDet", "xTextoDet"}) == nullptr) continue;
    r.Text((*notes)[i], path, "xCampoDet", &obs.xCampoDet);
    r.Text((*notes)[i], path, "xTextoDet", &obs.xTextoDet);
  }
}

void ReadIcms(Reader& r, const json& j, const std::string& at, std::optional<Icms>* out) {
  const int group = r.Choice(j, at, {"ICMS00", "ICMS40", "ICMSSN102", "ICMSSN900"});
  if (group < 0) return;
  Icms& icms = out->emplace();
  icms.group = static_cast<Icms::Group>(group);
  const json& g = j.begin().value();
  const std::string path = at + "." + j.begin().key();
  if (r.Object(g, path, {"Orig", "CST", "CSOSN", "pICMS"}) == nullptr) return;
  r.Text(g, path, "Orig", &icms.Orig);
  r.Text(g, path, "CST", &icms.CST);
  r.Text(g, path, "CSOSN", &icms.CSOSN);
  r.Decimal(g, path, "pICMS", 3, kPercent, &icms.pICMS);
}

template <typename Basis>
void ReadBasis(Reader& r, const json& g, const std::string& path, const std::string& rate,
               Basis* b) {
  r.Decimal(g, path, "vBC", 13, kMoney, &b->vBC);
  r.Decimal(g, path, rate.c_str(), 1, kFraction, &b->rate);
  r.Decimal(g, path, "qBCProd", 12, kQuantity, &b->qBCProd);
  r.Decimal(g, path, "vAliqProd", 11, kFraction, &b->vAliqProd);
}

void ReadContribution(Reader& r, const json& taxes, const std::string& at, const std::string& tax,
                      Contribution* c) {
  const std::string path = at + "." + tax;
  const json* j = r.Member(taxes, tax.c_str());
  if (j == nullptr) return r.Refuse(path, "grupo obrigatório ausente");
  const std::string names[] = {tax + "Aliq", tax + "Qtde", tax + "NT", tax + "SN", tax + "Outr"};
  const int group = r.Choice(*j, path, {names[0], names[1], names[2], names[3], names[4]});
  if (group < 0) return;
  c->group = static_cast<Contribution::Group>(group);
  const json& g = j->begin().value();
  const std::string inner = path + "." + names[group];
  const std::string rate = "p" + tax;
  if (r.Object(g, inner, {"CST", "vBC", rate, "qBCProd", "vAliqProd"}) == nullptr) return;
  r.Text(g, inner, "CST", &c->CST);
  ReadBasis(r, g, inner, rate, c);
}

void ReadSubstitution(Reader& r, const json& taxes, const std::string& at, const std::string& tax,
                      std::optional<Substitution>* out) {
  const std::string name = tax + "ST", path = at + "." + name, rate = "p" + tax;
  const json* g = r.Member(taxes, name.c_str());
  if (g == nullptr || r.Object(*g, path, {"vBC", rate, "qBCProd", "vAliqProd"}) == nullptr) return;
  ReadBasis(r, *g, path, rate, &out->emplace());
}

void ReadIssqn(Reader& r, const json& g, const std::string& path, std::optional<Issqn>* out) {
  if (r.Object(g, path,
               {"vDeducISSQN", "vAliq", "cMunFG", "cListServ", "cServTribMun", "cNatOp",
                "indIncFisc"}) == nullptr) {
    return;
  }
  Issqn& s = out->emplace();
  r.Decimal(g, path, "vDeducISSQN", 13, kMoney, &s.vDeducISSQN);
  r.Decimal(g, path, "vAliq", 3, kPercent, &s.vAliq);
  for (auto [name, field] : {std::pair{"cMunFG", &s.cMunFG},
                             {"cListServ", &s.cListServ},
                             {"cServTribMun", &s.cServTribMun},
                             {"cNatOp", &s.cNatOp},
                             {"indIncFisc", &s.indIncFisc}}) {
    r.Text(g, path, name, field);
  }
}

void ReadTaxes(Reader& r, const json& j, const std::string& at, Imposto* tax) {
  if (r.Object(j, at, {"vItem12741", "ICMS", "PIS", "PISST", "COFINS", "COFINSST", "ISSQN"}) ==
      nullptr) {
    return;
  }
  r.Decimal(j, at, "vItem12741", 13, kMoney, &tax->vItem12741);
  if (const json* icms = r.Member(j, "ICMS")) ReadIcms(r, *icms, at + ".ICMS", &tax->ICMS);
  if (const json* issqn = r.Member(j, "ISSQN")) ReadIssqn(r, *issqn, at + ".ISSQN", &tax->ISSQN);
  ReadContribution(r, j, at, "PIS", &tax->PIS);
  ReadSubstitution(r, j, at, "PIS", &tax->PISST);
  ReadContribution(r, j, at, "COFINS", &tax->COFINS);
  ReadSubstitution(r, j, at, "COFINS", &tax->COFINSST);
}

void ReadItems(Reader& r, const json& j, Sale* sale) {
  if (!j.is_array()) return r.Refuse("det", "deve ser a lista dos itens ([...])");
  for (size_t i = 0; i < j.size(); ++i) {
    const std::string at = "det[" + std::to_string(i + 1) + "]";
    Det& det = sale->det.emplace_back();
    const json& item = j[i];
    if (r.Object(item, at, {"nItem", "prod", "imposto", "infAdProd"}) == nullptr) continue;
    if (const json* number = r.Member(item, "nItem");
        number != nullptr && *number != i + 1 && *number != std::to_string(i + 1)) {
      r.Refuse(at + ".nItem", "deve ser " + std::to_string(i + 1) + ", a posição do item na lista");
    }
    if (const json* prod = r.Member(item, "prod")) {
      ReadProduct(r, *prod, at + ".prod", &det.prod);
    } else {
      r.Refuse(at + ".prod", "grupo obrigatório ausente");
    }
    if (const json* taxes = r.Member(item, "imposto")) {
      ReadTaxes(r, *taxes, at + ".imposto", &det.imposto);
    } else {
      r.Refuse(at + ".imposto", "grupo obrigatório ausente");
    }
    r.Text(item, at, "infAdProd", &det.infAdProd);
  }
}

void ReadTotal(Reader& r, const json& j, Total* total) {
  if (r.Object(j, "total", {"DescAcrEntr", "vCFeLei12741"}) == nullptr) return;
  r.Decimal(j, "total", "vCFeLei12741", 13, kMoney, &total->vCFeLei12741);
  const json* adjust = r.Member(j, "DescAcrEntr");
  if (adjust == nullptr ||
      r.Object(*adjust, "total.DescAcrEntr", {"vDescSubtot", "vAcresSubtot"}) == nullptr) {
    return;
  }
  r.Decimal(*adjust, "total.DescAcrEntr", "vDescSubtot", 13, kMoney, &total->vDescSubtot);
  r.Decimal(*adjust, "total.DescAcrEntr", "vAcresSubtot", 13, kMoney, &total->vAcresSubtot);
}

void ReadPayments(Reader& r, const json& j, Sale* sale) {
  if (r.Object(j, "pgto", {"MP"}) == nullptr) return;
  const json* list = r.Member(j, "MP");
  if (list == nullptr || !list->is_array()) {
    return r.Refuse("pgto.MP", "deve ser a lista dos meios de pagamento ([...])");
  }
  for (size_t i = 0; i < list->size(); ++i) {
    const std::string at = "pgto.MP[" + std::to_string(i + 1) + "]";
    MP& mp = sale->pgto.emplace_back();
    if (r.Object((*list)[i], at, {"cMP", "vMP", "cAdmC"}) == nullptr) continue;
    r.Text((*list)[i], at, "cMP", &mp.cMP);
    r.Decimal((*list)[i], at, "vMP", 13, kMoney, &mp.vMP);
    r.Text((*list)[i], at, "cAdmC", &mp.cAdmC);
  }
}

// The document as JSON; null, refused, when the text is not JSON.
json Parse(std::string_view text, Reader& r) {
  json document = json::parse(text, nullptr, false);
  if (document.is_discarded()) {
    r.Refuse("", "JSON mal formado: confira aspas, vírgulas e chaves");
    return nullptr;
  }
  return document;
}

}  // namespace

bool ReadSale(std::string_view text, Sale* sale, Refusals* refusals) {
  const size_t before = refusals->size();
  Reader r(refusals);
  const json document = Parse(text, r);
  if (document.is_null()) return false;
  if (r.Object(document, "",
               {"versaoDadosEnt", "ide", "emit", "dest", "entrega", "det", "total", "pgto",
                "infAdic"}) == nullptr) {
    return false;
  }
  if (const json* version = r.Member(document, "versaoDadosEnt")) {
    if (*version == "0.07") {
      sale->versaoDadosEnt = Version::k007;
    } else if (*version != "0.08") {
      r.Refuse("versaoDadosEnt", "versão do leiaute deve ser \"0.07\" ou \"0.08\"");
    }
  }
  for (const char* group : {"ide", "emit", "det", "pgto"}) {
    if (r.Member(document, group) == nullptr) r.Refuse(group, "grupo obrigatório ausente");
  }
  if (const json* ide = r.Member(document, "ide")) ReadIde(r, *ide, &sale->ide);
  if (const json* emit = r.Member(document, "emit")) ReadEmit(r, *emit, &sale->emit);
  if (const json* dest = r.Member(document, "dest")) ReadDest(r, *dest, &sale->dest, true);
  if (const json* entrega = r.Member(document, "entrega")) {
    ReadDelivery(r, *entrega, &sale->entrega.emplace());
  }
  if (const json* det = r.Member(document, "det")) ReadItems(r, *det, sale);
  if (const json* total = r.Member(document, "total")) ReadTotal(r, *total, &sale->total);
  if (const json* pgto = r.Member(document, "pgto")) ReadPayments(r, *pgto, sale);
  if (const json* extra = r.Member(document, "infAdic");
      extra != nullptr && r.Object(*extra, "infAdic", {"infCpl"}) != nullptr) {
    r.Text(*extra, "infAdic", "infCpl", &sale->infCpl);
  }
  return refusals->size() == before;
}

bool ReadCancellation(std::string_view text, Cancellation* cancellation, Refusals* refusals) {
  const size_t before = refusals->size();
  Reader r(refusals);
  const json document = Parse(text, r);
  if (document.is_null() || r.Object(document, "", {"chCanc", "ide", "dest"}) == nullptr) {
    return false;
  }
  r.Text(document, "", "chCanc", &cancellation->chCanc);
  if (const json* ide = r.Member(document, "ide")) {
    ReadIde(r, *ide, &cancellation->ide);
  } else {
    r.Refuse("ide", "grupo obrigatório ausente");
  }
  if (const json* dest = r.Member(document, "dest")) ReadDest(r, *dest, &cancellation->dest, false);
  return refusals->size() == before;
}

Prepared PrepareSaleJson(std::string_view json) {
  Sale sale;
  Refusals read;
  const bool whole = ReadSale(json, &sale, &read);
  if (whole) return Prepare(std::move(sale));
  Prepared prepared;
  prepared.refusals = std::move(read);
  if (!prepared.refusals.empty() && prepared.refusals.front().path.empty()) return prepared;
  Complete(&sale);
  AddNew(&prepared.refusals, Check(sale, prepared.refusals));
  return prepared;
}

PreparedCancellation PrepareCancellationJson(std::string_view json) {
  Cancellation cancellation;
  Refusals read;
  if (ReadCancellation(json, &cancellation, &read)) return Prepare(cancellation);
  PreparedCancellation prepared;
  prepared.refusals = std::move(read);
  if (!prepared.refusals.empty() && prepared.refusals.front().path.empty()) return prepared;
  AddNew(&prepared.refusals, Check(cancellation));
  return prepared;
}

}  // namespace kovrad::cfe
