#include "archive/document.h"

#include <openssl/evp.h>

#include <algorithm>

#include "xml.h"

namespace kovrad::archive {
namespace {

constexpr size_t kKeyDigits = 44;

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool Fail(std::string* error, std::string problem) {
  *error = std::move(problem);
  return false;
}

// A decimal of at most two places in cents; an absent one is zero unless
// `required`.
bool Cents(const xmlNode* parent, const char* name, bool required, int64_t* cents,
           std::string* error) {
  const std::string text = ChildText(parent, name);
  *cents = 0;
  if (text.empty()) {
    return !required || Fail(error, std::string("valor ausente: ") + name);
  }
  const size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
  if (!AllDigits(whole) || whole.size() > 13 || fraction.size() > 2 ||
      (point != std::string::npos && !AllDigits(fraction))) {
    return Fail(error, std::string("valor inválido em ") + name + ": \"" + text + "\"");
  }
  *cents =
      std::stoll(whole) * 100 + (fraction.empty() ? 0 : std::stoll((fraction + "0").substr(0, 2)));
  return true;
}

bool ReadIde(const xmlNode* ide, Document* d, std::string* error) {
  const std::string number = ChildText(ide, "nCFe");
  const std::string date = ChildText(ide, "dEmi"), time = ChildText(ide, "hEmi");
  d->serial = ChildText(ide, "nserieSAT");
  if (!AllDigits(number) || number.size() > 9) return Fail(error, "nCFe ausente ou inválido");
  if (!AllDigits(d->serial)) return Fail(error, "nserieSAT ausente ou inválido");
  if (!AllDigits(date) || date.size() != 8 || !AllDigits(time) || time.size() != 6) {
    return Fail(error, "data ou hora de emissão ausente ou inválida");
  }
  d->number = std::stoi(number);
  d->issued = std::stoll(date + time);
  const std::string till = ChildText(ide, "numeroCaixa");
  if (!till.empty()) {
    if (!AllDigits(till) || till.size() > 3) return Fail(error, "numeroCaixa inválido");
    d->till = std::stoi(till);
  }
  return true;
}

bool ReadTotals(const xmlNode* info, Document* d, std::string* error) {
  const xmlNode* total = ChildElement(info, "total");
  if (!Cents(total, "vCFe", true, &d->total, error)) return false;
  if (d->kind == Kind::kCancellation) return true;
  const xmlNode* icms = ChildElement(total, "ICMSTot");
  const xmlNode* subtotal = ChildElement(total, "DescAcrEntr");
  int64_t item_discounts = 0, item_surcharges = 0, discount = 0, surcharge = 0;
  if (!Cents(icms, "vProd", false, &d->gross, error) ||
      !Cents(icms, "vDesc", false, &item_discounts, error) ||
      !Cents(icms, "vOutro", false, &item_surcharges, error) ||
      !Cents(subtotal, "vDescSubtot", false, &discount, error) ||
      !Cents(subtotal, "vAcresSubtot", false, &surcharge, error)) {
    return false;
  }
  d->discounts = item_discounts + discount;
  d->surcharges = item_surcharges + surcharge;
  const xmlNode* payments = ChildElement(info, "pgto");
  if (!Cents(payments, "vTroco", false, &d->change, error)) return false;
  for (const xmlNode* n = payments != nullptr ? payments->children : nullptr; n != nullptr;
       n = n->next) {
    if (n->type != XML_ELEMENT_NODE || xmlStrcmp(n->name, BAD_CAST "MP") != 0) continue;
    Payment p{ChildText(n, "cMP"), 0};
    if (!Cents(n, "vMP", true, &p.cents, error)) return false;
    d->payments.push_back(std::move(p));
  }
  return true;
}

}  // namespace

std::string KeyDigits(std::string_view key) {
  if (key.starts_with("CFe")) key.remove_prefix(3);
  return key.size() == kKeyDigits && AllDigits(key) ? std::string(key) : std::string();
}

bool ReadDocument(std::string_view xml, Document* d, std::string* error) {
  *d = Document();
  const XmlDoc doc = ParseXml(xml);
  if (!doc) return Fail(error, "XML malformado");
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  if (root == nullptr) return Fail(error, "XML vazio");
  if (xmlStrcmp(root->name, BAD_CAST "CFeCanc") == 0) {
    d->kind = Kind::kCancellation;
  } else if (xmlStrcmp(root->name, BAD_CAST "CFe") != 0) {
    return Fail(error, "não é um CF-e nem um cancelamento");
  }
  const xmlNode* info = ChildElement(root, "infCFe");
  d->key = KeyDigits(AttributeText(info, "Id"));
  if (info == nullptr || d->key.empty()) return Fail(error, "chave de acesso ausente ou inválida");
  if (d->kind == Kind::kCancellation) {
    d->sale_key = KeyDigits(AttributeText(info, "chCanc"));
    if (d->sale_key.empty()) return Fail(error, "chCanc ausente ou inválida");
  }
  if (!ReadIde(ChildElement(info, "ide"), d, error)) return false;
  d->cnpj = ChildText(ChildElement(info, "emit"), "CNPJ");
  const xmlNode* dest = ChildElement(info, "dest");
  d->buyer = ChildText(dest, "CPF");
  if (d->buyer.empty()) d->buyer = ChildText(dest, "CNPJ");
  if (!ReadTotals(info, d, error)) return false;
  const xmlNode* data =
      ChildElement(ChildElement(ChildElement(root, "Signature"), "KeyInfo"), "X509Data");
  d->certificate = ChildText(data, "X509Certificate");
  return true;
}

bool CouponOfReply(std::string_view reply, std::string* xml) {
  std::vector<std::string_view> fields;
  for (size_t begin = 0;;) {
    const size_t bar = reply.find('|', begin);
    fields.push_back(reply.substr(begin, bar == std::string_view::npos ? bar : bar - begin));
    if (bar == std::string_view::npos) break;
    begin = bar + 1;
  }
  if (fields.size() < 7 || (fields[1] != "06000" && fields[1] != "07000")) return false;
  const std::string_view base64 = fields[6];
  if (base64.empty() || base64.size() % 4 != 0 || base64.size() > 2 * kMaxCoupon) return false;
  std::string decoded(base64.size() / 4 * 3, '\0');
  const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                                     reinterpret_cast<const unsigned char*>(base64.data()),
                                     static_cast<int>(base64.size()));
  if (length < 0) return false;
  // The decoder counts the padding as bytes.
  const size_t padding = base64.ends_with("==") ? 2 : base64.ends_with("=") ? 1 : 0;
  decoded.resize(static_cast<size_t>(length) - padding);
  *xml = std::move(decoded);
  return !xml->empty();
}

}  // namespace kovrad::archive
