#include "cancellation_document.h"

#include "access_key.h"
#include "sale_document.h"
#include "text.h"

namespace satemu {
namespace {

constexpr Source R = Source::kRequired, O = Source::kOptional, D = Source::kDevice;

const GroupLayout kRoot = {{"infCFe", R}};
const GroupLayout kInf = {{"dEmi", D}, {"hEmi", D},  {"ide", R},    {"emit", R},
                          {"dest", R}, {"total", R}, {"infAdic", O}};
const GroupLayout kIde = {{"cUF", D},
                          {"cNF", D},
                          {"mod", D},
                          {"nserieSAT", D},
                          {"nCFe", D},
                          {"dEmi", D},
                          {"hEmi", D},
                          {"cDV", D},
                          {"CNPJ", R},
                          {"signAC", R},
                          {"assinaturaQRCODE", D},
                          {"numeroCaixa", R}};
const GroupLayout kEmit = {{"CNPJ", D},      {"xNome", D}, {"xFant", D},
                           {"enderEmit", D}, {"IE", D},    {"IM", D}};
const GroupLayout kDest = {{"CNPJ", O}, {"CPF", O}};
const GroupLayout kTotal = {{"vCFe", D}};
const GroupLayout kExtra = {{"infCpl", O}};

constexpr char kKeyPrefix[] = "CFe";

}  // namespace

bool ReadCancellation(std::string_view text, Cancellation* c, std::string* error) {
  error->clear();
  c->doc = ParseXml(text, error);
  if (!c->doc) return false;
  xmlNode* root = xmlDocGetRootElement(c->doc.get());
  if (NodeName(root) != "CFeCanc") {
    *error = "elemento raiz deve ser <CFeCanc>";
    return false;
  }
  Group document;
  if (!document.Read(root, &kRoot, error) || !c->inf.Read(document.Get("infCFe"), &kInf, error)) {
    return false;
  }
  std::string key;
  if (!Attribute(c->inf.element(), "chCanc", &key) || !key.starts_with(kKeyPrefix) ||
      key.size() != sizeof kKeyPrefix - 1 + kAccessKeyLength ||
      !AllDigits(key.substr(sizeof kKeyPrefix - 1))) {
    *error = "chCanc deve ser \"CFe\" seguido dos 44 dígitos da chave de acesso";
    return false;
  }
  c->key = key.substr(sizeof kKeyPrefix - 1);
  const Group& inf = c->inf;
  if (!c->ide.Read(inf.Get("ide"), &kIde, error) || !c->emit.Read(inf.Get("emit"), &kEmit, error) ||
      !c->dest.Read(inf.Get("dest"), &kDest, error) ||
      !c->total.Read(inf.Get("total"), &kTotal, error) ||
      !ReadSoftwareHouse(c->ide, &c->software_house_cnpj, &c->signature, &c->register_number,
                         error) ||
      !ReadBuyer(c->dest, &c->buyer, error)) {
    return false;
  }
  if (inf.Get("infAdic") != nullptr) {
    std::string note;
    c->extra.emplace();
    if (!c->extra->Read(inf.Get("infAdic"), &kExtra, error) ||
        !GroupReader(*c->extra, error).Text("infCpl", 0, 5000, &note)) {
      return false;
    }
  }
  return true;
}

}  // namespace satemu
