#include "coupon.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace kovrad::receipt {
namespace {

// Far above the largest coupon a device signs; a bigger input is not one.
constexpr size_t kMaxInput = 8 * 1024 * 1024;

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDoc = std::unique_ptr<xmlDoc, DocFree>;

bool Named(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, BAD_CAST name) == 0;
}

const xmlNode* Child(const xmlNode* parent, const char* name) {
  if (parent == nullptr) return nullptr;
  for (const xmlNode* n = parent->children; n != nullptr; n = n->next) {
    if (Named(n, name)) return n;
  }
  return nullptr;
}

std::vector<const xmlNode*> Children(const xmlNode* parent, const char* name) {
  std::vector<const xmlNode*> found;
  if (parent == nullptr) return found;
  for (const xmlNode* n = parent->children; n != nullptr; n = n->next) {
    if (Named(n, name)) found.push_back(n);
  }
  return found;
}

// Control characters become spaces: a text from the coupon must not move
// the layout or reach a printer as a command.
std::string Printable(const xmlChar* raw) {
  const std::string_view in = raw == nullptr ? "" : reinterpret_cast<const char*>(raw);
  std::string text;
  text.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const auto byte = static_cast<unsigned char>(in[i]);
    // C1 controls (U+0080 to U+009F) are C2 80 to C2 9F in UTF-8; a terminal
    // reads some of them as commands, as it does C0.
    const bool c1 =
        byte == 0xC2 && i + 1 < in.size() && (static_cast<unsigned char>(in[i + 1]) & 0xE0) == 0x80;
    if (c1) ++i;
    text += c1 || byte < 0x20 || byte == 0x7F ? ' ' : in[i];
  }
  const size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

std::string Text(const xmlNode* parent, const char* name) {
  const xmlNode* node = Child(parent, name);
  if (node == nullptr) return "";
  xmlChar* content = xmlNodeGetContent(node);
  std::string text = Printable(content);
  xmlFree(content);
  return text;
}

std::string Attribute(const xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, BAD_CAST name);
  std::string text = Printable(value);
  xmlFree(value);
  return text;
}

bool Digits(std::string_view text, size_t count) {
  return text.size() == count &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The access key's last digit checks the others (modulo 11, weights 2 to 9
// from the right).
bool ValidKey(std::string_view key) {
  if (!Digits(key, 44)) return false;
  int sum = 0, weight = 2;
  for (size_t i = 43; i-- > 0;) {
    sum += (key[i] - '0') * weight;
    weight = weight == 9 ? 2 : weight + 1;
  }
  const int rest = sum % 11;
  const int check = rest < 2 ? 0 : 11 - rest;
  return key[43] - '0' == check;
}

bool Decimal(std::string_view text) {
  const size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  auto digits = [](std::string_view part) {
    return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return !whole.empty() && whole.size() <= 15 && digits(whole) && digits(fraction) &&
         fraction.size() <= 4 && (point == std::string_view::npos || !fraction.empty());
}

class Reader {
 public:
  explicit Reader(std::string* error) : error_(error) {}

  bool Fail(const std::string& problem) {
    *error_ = problem;
    return false;
  }

  // An amount: absent is fine unless `required`, but never malformed.
  bool Amount(const xmlNode* parent, const char* name, std::string* value, bool required = false) {
    *value = Text(parent, name);
    if (value->empty() && !required) return true;
    if (!Decimal(*value))
      return Fail(std::string("valor inválido em ") + name + ": \"" + *value + "\"");
    return true;
  }

  bool Key(const std::string& id, std::string* key) {
    if (id.size() != 47 || id.compare(0, 3, "CFe") != 0 || !ValidKey(id.substr(3))) {
      return Fail("chave de acesso inválida: \"" + id + "\"");
    }
    *key = id.substr(3);
    return true;
  }

  bool Header(const xmlNode* inf, Coupon* c) {
    const xmlNode* ide = Child(inf, "ide");
    if (ide == nullptr) return Fail("o cupom não tem o grupo ide");
    c->number = Text(ide, "nCFe");
    c->serial = Text(ide, "nserieSAT");
    c->date = Text(ide, "dEmi");
    c->time = Text(ide, "hEmi");
    c->qr_signature = Text(ide, "assinaturaQRCODE");
    c->test_environment = Text(ide, "tpAmb") == "2";
    if (!Digits(c->number, 6)) return Fail("número do cupom (nCFe) inválido");
    if (!Digits(c->serial, 9)) return Fail("número de série do SAT (nserieSAT) inválido");
    if (!Digits(c->date, 8) || !Digits(c->time, 6)) return Fail("data ou hora de emissão inválida");
    if (c->qr_signature.empty()) return Fail("o cupom não tem a assinatura do QR Code");
    return true;
  }

  // The access key repeats the emitter's CNPJ, the device's serial number and
  // the coupon's number: an extrato whose fields say otherwise would show a
  // coupon other than the one the key (and its QR Code) names.
  bool MatchesKey(const Coupon& c) {
    const std::string_view key = c.key;
    if (key.substr(31, 6) != c.number) {
      return Fail("o número do cupom (nCFe " + c.number + ") não é o da chave de acesso (" +
                  std::string(key.substr(31, 6)) + ")");
    }
    if (key.substr(22, 9) != c.serial) {
      return Fail("o número de série do SAT (nserieSAT " + c.serial +
                  ") não é o da chave de acesso (" + std::string(key.substr(22, 9)) + ")");
    }
    if (!c.issuer.cnpj.empty() && key.substr(6, 14) != c.issuer.cnpj) {
      return Fail("o CNPJ do emitente (" + c.issuer.cnpj + ") não é o da chave de acesso (" +
                  std::string(key.substr(6, 14)) + ")");
    }
    return true;
  }

  void Emitter(const xmlNode* inf, Issuer* issuer) {
    const xmlNode* emit = Child(inf, "emit");
    const xmlNode* address = Child(emit, "enderEmit");
    *issuer = {Text(emit, "xNome"),   Text(emit, "xFant"),   Text(address, "xLgr"),
               Text(address, "nro"),  Text(address, "xCpl"), Text(address, "xBairro"),
               Text(address, "xMun"), Text(address, "CEP"),  Text(emit, "CNPJ"),
               Text(emit, "IE"),      Text(emit, "IM")};
  }

  void Buyer(const xmlNode* inf, Coupon* c) {
    const xmlNode* dest = Child(inf, "dest");
    c->buyer = Text(dest, "CPF");
    if (c->buyer.empty()) c->buyer = Text(dest, "CNPJ");
    c->buyer_name = Text(dest, "xNome");
  }

  bool Item(const xmlNode* det, receipt::Item* item) {
    const xmlNode* prod = Child(det, "prod");
    item->number = Attribute(det, "nItem");
    item->code = Text(prod, "cProd");
    item->description = Text(prod, "xProd");
    item->unit = Text(prod, "uCom");
    item->note = Text(det, "infAdProd");
    std::string net;
    const xmlNode* service = Child(Child(det, "imposto"), "ISSQN");
    const bool read = Amount(prod, "qCom", &item->quantity, true) &&
                      Amount(prod, "vUnCom", &item->unit_price, true) &&
                      Amount(prod, "vProd", &item->value) && Amount(prod, "vItem", &net) &&
                      Amount(prod, "vDesc", &item->discount) &&
                      Amount(prod, "vOutro", &item->surcharge) &&
                      Amount(prod, "vRatDesc", &item->shared_discount) &&
                      Amount(prod, "vRatAcr", &item->shared_surcharge) &&
                      Amount(Child(det, "imposto"), "vItem12741", &item->approximate_taxes) &&
                      Amount(service, "vDeducISSQN", &item->service_deduction) &&
                      Amount(service, "vBC", &item->service_base);
    if (!read) return false;
    if (item->value.empty()) item->value = net;
    if (item->value.empty()) return Fail("o item " + item->number + " não tem valor");
    return true;
  }

  bool Sale(const xmlNode* inf, Coupon* c) {
    for (const xmlNode* det : Children(inf, "det")) {
      if (!Item(det, &c->items.emplace_back())) return false;
    }
    if (c->items.empty()) return Fail("o cupom de venda não tem itens");
    const xmlNode* total = Child(inf, "total");
    const xmlNode* tax = Child(total, "ICMSTot");
    const xmlNode* shared = Child(total, "DescAcrEntr");
    const xmlNode* payments = Child(inf, "pgto");
    for (const xmlNode* mp : Children(payments, "MP")) {
      Payment& p = c->payments.emplace_back();
      p.code = Text(mp, "cMP");
      if (!Amount(mp, "vMP", &p.value, true)) return false;
    }
    c->notes = Text(Child(inf, "infAdic"), "infCpl");
    return Amount(total, "vCFe", &c->total, true) && Amount(tax, "vProd", &c->products) &&
           Amount(tax, "vDesc", &c->item_discounts) && Amount(tax, "vOutro", &c->item_surcharges) &&
           Amount(shared, "vDescSubtot", &c->subtotal_discount) &&
           Amount(shared, "vAcresSubtot", &c->subtotal_surcharge) &&
           Amount(total, "vCFeLei12741", &c->approximate_taxes) &&
           Amount(payments, "vTroco", &c->change);
  }

  bool Cancellation(const xmlNode* inf, Coupon* c) {
    c->sale_date = Text(inf, "dEmi");
    c->sale_time = Text(inf, "hEmi");
    if (!Digits(c->sale_date, 8) || !Digits(c->sale_time, 6)) {
      return Fail("data ou hora da venda cancelada inválida");
    }
    c->notes = Text(Child(inf, "infAdic"), "infCpl");
    return Key(Attribute(inf, "chCanc"), &c->cancelled_key) &&
           Amount(Child(inf, "total"), "vCFe", &c->total, true);
  }

  bool Document(const xmlNode* root, Coupon* c) {
    c->cancellation = Named(root, "CFeCanc");
    if (!c->cancellation && !Named(root, "CFe")) {
      return Fail("o documento não é um CF-e-SAT (esperado CFe ou CFeCanc, encontrado " +
                  Printable(root->name) + ")");
    }
    const xmlNode* inf = Child(root, "infCFe");
    if (inf == nullptr) return Fail("o cupom não tem o grupo infCFe");
    if (!Key(Attribute(inf, "Id"), &c->key) || !Header(inf, c)) return false;
    Emitter(inf, &c->issuer);
    if (!MatchesKey(*c)) return false;
    Buyer(inf, c);
    return c->cancellation ? Cancellation(inf, c) : Sale(inf, c);
  }

 private:
  std::string* error_;
};

bool IsBase64(std::string_view token) {
  return token.size() >= 16 && std::all_of(token.begin(), token.end(), [](char c) {
           return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=';
         });
}

std::string DecodeBase64(std::string_view token) {
  if (token.size() % 4 != 0) return "";
  std::string bytes(token.size() / 4 * 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                reinterpret_cast<const unsigned char*>(token.data()),
                                static_cast<int>(token.size()));
  if (n < 0) return "";
  const size_t padding = token.size() - std::min(token.size(), token.find_last_not_of('=') + 1);
  bytes.resize(static_cast<size_t>(n) - std::min<size_t>(padding, static_cast<size_t>(n)));
  return bytes;
}

std::string_view TrimStart(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const size_t begin = text.find_first_not_of(" \t\r\n");
  return begin == std::string_view::npos ? std::string_view() : text.substr(begin);
}

// The coupon's XML inside `input`: the input itself, or the first Base64
// field of a reply that decodes to a document.
bool FindXml(std::string_view input, std::string* xml) {
  input = TrimStart(input);
  if (input.substr(0, 1) == "<") {
    *xml = input;
    return true;
  }
  size_t start = 0;
  while (start < input.size()) {
    size_t end = input.find_first_of("|\",:[]{} \t\r\n", start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view token = input.substr(start, end - start);
    if (IsBase64(token)) {
      std::string decoded = DecodeBase64(token);
      if (TrimStart(decoded).substr(0, 1) == "<") {
        *xml = std::move(decoded);
        return true;
      }
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

bool ReadCoupon(std::string_view input, Coupon* coupon, std::string* error) {
  *coupon = Coupon();
  if (input.size() > kMaxInput) {
    *error = "o arquivo é grande demais para ser um CF-e-SAT";
    return false;
  }
  std::string xml;
  if (!FindXml(input, &xml)) {
    *error = "a entrada não traz um CF-e-SAT (nem XML, nem retorno de venda em Base64)";
    return false;
  }
  // No network and no entity expansion: the document comes from outside.
  XmlDoc doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!doc) {
    const xmlError* last = xmlGetLastError();
    *error = "XML malformado" + (last != nullptr && last->message != nullptr
                                     ? ": " + Printable(BAD_CAST last->message)
                                     : std::string());
    return false;
  }
  // A coupon has no document type; one that brings its own could make a
  // small file expand into a huge text through its entities.
  if (doc->intSubset != nullptr) {
    *error = "o documento traz uma declaração DOCTYPE, que um CF-e-SAT não tem";
    return false;
  }
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  if (root == nullptr) {
    *error = "o documento está vazio";
    return false;
  }
  return Reader(error).Document(root, coupon);
}

std::string QrContent(const Coupon& coupon) {
  return coupon.key + "|" + coupon.date + coupon.time + "|" + coupon.total + "|" + coupon.buyer +
         "|" + coupon.qr_signature;
}

}  // namespace kovrad::receipt
