#include "coupon.h"

#include "access_key.h"
#include "decimal.h"
#include "text.h"
#include "xml_signature.h"

namespace satemu {
namespace {

constexpr char kLayoutVersion[] = "0.08";
constexpr char kBasicSoftwareVersion[] = "010000";
// Every coupon of an emulated device belongs to the test environment.
constexpr char kTestEnvironment[] = "2";

std::string Cents(int64_t cents) {
  return FormatDecimal(cents, 2);
}

// What every coupon of the device carries: key, date and time of issue, and
// the QR-code signature.
struct Header {
  std::string key, date, time, qr_signature;

  // assinaturaQRCODE is the device's signature over the key, the date and
  // time of issue, the total, the buyer's CPF or CNPJ and the software
  // house's signature, one after the other.
  bool Make(const Issuer& issuer, const Stamp& stamp, const std::string& total,
            const std::string& buyer, const std::string& signature, std::string* error) {
    const std::string timestamp = Timestamp(stamp.when);
    date = timestamp.substr(0, 8);
    time = timestamp.substr(8);
    key = AccessKey({issuer.state.state_code, timestamp.substr(2, 4), issuer.state.taxpayer_cnpj,
                     issuer.serial, stamp.number, stamp.code});
    if (key.empty()) {
      *error = "chave de acesso impossível: UF, CNPJ ou número de série inválido";
      return false;
    }
    const std::string signed_value = issuer.key.Sign(key + date + time + total + buyer + signature);
    if (signed_value.empty()) {
      *error = "falha ao assinar o QR Code";
      return false;
    }
    qr_signature = Base64Encode(signed_value);
    return true;
  }

  // The host's ide group with the device's elements added, where its layout
  // has room for them.
  xmlNode* Ide(xmlDoc* doc, const Group& ide, const Issuer& issuer) const {
    std::vector<xmlNode*> added;
    for (auto [name, value] : {std::pair{"cUF", key.substr(0, 2)},
                               {"cNF", key.substr(37, 6)},
                               {"mod", key.substr(20, 2)},
                               {"nserieSAT", issuer.serial},
                               {"nCFe", key.substr(31, 6)},
                               {"dEmi", date},
                               {"hEmi", time},
                               {"cDV", key.substr(43, 1)},
                               {"tpAmb", std::string(kTestEnvironment)},
                               {"assinaturaQRCODE", qr_signature}}) {
      added.push_back(NewElement(doc, name, value));
    }
    return ide.Build(doc, added);
  }
};

// The emitter's name and address, as SEFAZ holds them, then `more`.
std::vector<xmlNode*> Emitter(xmlDoc* doc, const Taxpayer& t, std::vector<xmlNode*> more) {
  xmlNode* address = NewElement(doc, "enderEmit");
  AddElement(address, "xLgr", t.street);
  AddElement(address, "nro", t.number);
  if (!t.complement.empty()) AddElement(address, "xCpl", t.complement);
  AddElement(address, "xBairro", t.district);
  AddElement(address, "xMun", t.city);
  AddElement(address, "CEP", t.postcode);
  more.insert(more.begin(),
              {NewElement(doc, "xNome", t.name),
               t.trade_name.empty() ? nullptr : NewElement(doc, "xFant", t.trade_name), address});
  return more;
}

xmlNode* Amount(xmlDoc* doc, const char* name, std::optional<int64_t> cents) {
  return cents ? NewElement(doc, name, Cents(*cents)) : nullptr;
}

// A new document with `root` and its infCFe, named by the key.
xmlNode* Start(XmlDoc* doc, const char* root, const std::string& key) {
  doc->reset(xmlNewDoc(BAD_CAST "1.0"));
  xmlNode* top = NewElement(doc->get(), root);
  xmlDocSetRootElement(doc->get(), top);
  xmlNode* inf = AddElement(top, "infCFe");
  xmlNewProp(inf, BAD_CAST "Id", BAD_CAST("CFe" + key).c_str());
  return inf;
}

// Signs infCFe and fills in the coupon.
bool Finish(xmlDoc* doc, xmlNode* inf, const Issuer& issuer, const Header& header,
            const std::string& total, const std::string& buyer, Coupon* coupon,
            std::string* error) {
  if (!SignEnveloped(doc, inf, issuer.key, error)) return false;
  *coupon = {SerializeXml(doc),  header.key, header.date + header.time, total, buyer,
             header.qr_signature};
  return true;
}

xmlNode* ItemTaxes(xmlDoc* doc, const SaleItem& item, const ItemTotals& v) {
  xmlNode* icms = nullptr;
  if (item.icms) {
    icms = NewElement(doc, "ICMS");
    xmlAddChild(icms, item.icms->Build(doc, {Amount(doc, "vICMS", v.icms)}));
  }
  xmlNode* pis = NewElement(doc, "PIS");
  xmlAddChild(pis, item.pis.Build(doc, {Amount(doc, "vPIS", v.pis)}));
  xmlNode* cofins = NewElement(doc, "COFINS");
  xmlAddChild(cofins, item.cofins.Build(doc, {Amount(doc, "vCOFINS", v.cofins)}));
  return item.imposto.Build(
      doc,
      {icms, pis, cofins,
       item.pis_st ? item.pis_st->Build(doc, {Amount(doc, "vPIS", v.pis_st)}) : nullptr,
       item.cofins_st ? item.cofins_st->Build(doc, {Amount(doc, "vCOFINS", v.cofins_st)}) : nullptr,
       item.issqn ? item.issqn->Build(doc, {Amount(doc, "vBC", v.service_base),
                                            Amount(doc, "vISSQN", v.service_tax)})
                  : nullptr});
}

xmlNode* Sums(xmlDoc* doc, const char* name,
              std::initializer_list<std::pair<const char*, int64_t>> sums) {
  xmlNode* group = NewElement(doc, name);
  for (auto [element, cents] : sums) AddElement(group, element, Cents(cents));
  return group;
}

xmlNode* TaxTotals(xmlDoc* doc, const SaleTotals& t) {
  return Sums(doc, "ICMSTot",
              {{"vICMS", t.icms},
               {"vProd", t.products},
               {"vDesc", t.discounts},
               {"vPIS", t.pis},
               {"vCOFINS", t.cofins},
               {"vPISST", t.pis_st},
               {"vCOFINSST", t.cofins_st},
               {"vOutro", t.others}});
}

xmlNode* ServiceTotalsGroup(xmlDoc* doc, const std::optional<ServiceTotals>& s) {
  if (!s) return nullptr;
  return Sums(doc, "ISSQNtot",
              {{"vBC", s->base},
               {"vISS", s->tax},
               {"vPIS", s->pis},
               {"vCOFINS", s->cofins},
               {"vPISST", s->pis_st},
               {"vCOFINSST", s->cofins_st},
               {"vDeducISS", s->deductions},
               {"vOutro", s->others}});
}

}  // namespace

bool IssueSale(const Sale& sale, const SaleTotals& totals, const Issuer& issuer, const Stamp& stamp,
               Coupon* coupon, std::string* error) {
  const std::string total = Cents(totals.total);
  Header header;
  if (!header.Make(issuer, stamp, total, sale.buyer, sale.signature, error)) return false;

  XmlDoc doc;
  xmlNode* inf = Start(&doc, "CFe", header.key);
  xmlDoc* d = doc.get();
  xmlNewProp(inf, BAD_CAST "versao", BAD_CAST kLayoutVersion);
  xmlNewProp(inf, BAD_CAST "versaoDadosEnt", BAD_CAST sale.version.c_str());
  xmlNewProp(inf, BAD_CAST "versaoSB", BAD_CAST kBasicSoftwareVersion);
  xmlAddChild(inf, header.Ide(d, sale.ide, issuer));
  const Taxpayer& t = issuer.state.taxpayer;
  xmlAddChild(inf, sale.emit.Build(d, Emitter(d, t, {NewElement(d, "cRegTrib", t.regime)})));
  xmlAddChild(inf, sale.dest.Build(d, {}));
  if (sale.delivery) xmlAddChild(inf, sale.delivery->Build(d, {}));

  const bool shared_discount = sale.values.subtotal_discount > 0;
  const bool shared_charge = sale.values.subtotal_charge > 0;
  for (size_t i = 0; i < sale.items.size(); ++i) {
    const SaleItem& item = sale.items[i];
    const ItemTotals& v = totals.items[i];
    xmlNode* prod = item.prod.Build(
        d, {NewElement(d, "vProd", Cents(v.product)), NewElement(d, "vItem", Cents(v.item)),
            shared_discount ? NewElement(d, "vRatDesc", Cents(v.shared_discount)) : nullptr,
            shared_charge ? NewElement(d, "vRatAcr", Cents(v.shared_charge)) : nullptr});
    xmlNode* det = xmlAddChild(inf, item.det.Build(d, {prod, ItemTaxes(d, item, v)}));
    xmlNewProp(det, BAD_CAST "nItem", BAD_CAST std::to_string(i + 1).c_str());
  }
  xmlAddChild(inf, sale.total.Build(d, {TaxTotals(d, totals), NewElement(d, "vCFe", total),
                                        ServiceTotalsGroup(d, totals.services)}));
  xmlAddChild(inf, sale.pgto.Build(d, {NewElement(d, "vTroco", Cents(totals.change))}));
  if (sale.extra) xmlAddChild(inf, sale.extra->Build(d, {}));

  return Finish(d, inf, issuer, header, total, sale.buyer, coupon, error);
}

bool IssueCancellation(const Cancellation& cancellation, const LastSale& sale, const Issuer& issuer,
                       const Stamp& stamp, Coupon* coupon, std::string* error) {
  Header header;
  if (!header.Make(issuer, stamp, sale.total, sale.buyer, cancellation.signature, error)) {
    return false;
  }

  XmlDoc doc;
  xmlNode* inf = Start(&doc, "CFeCanc", header.key);
  xmlDoc* d = doc.get();
  xmlNewProp(inf, BAD_CAST "chCanc", BAD_CAST("CFe" + sale.key).c_str());
  xmlNewProp(inf, BAD_CAST "versao", BAD_CAST kLayoutVersion);
  // When the cancelled sale was issued.
  AddElement(inf, "dEmi", sale.time.substr(0, 8));
  AddElement(inf, "hEmi", sale.time.substr(8));
  xmlAddChild(inf, header.Ide(d, cancellation.ide, issuer));
  std::vector<xmlNode*> emitter = Emitter(d, issuer.state.taxpayer, {NewElement(d, "IE", sale.ie)});
  emitter.push_back(NewElement(d, "CNPJ", issuer.state.taxpayer_cnpj));
  xmlAddChild(inf, cancellation.emit.Build(d, emitter));
  xmlNode* dest = AddElement(inf, "dest");
  if (!sale.buyer.empty()) AddElement(dest, sale.buyer.size() == 11 ? "CPF" : "CNPJ", sale.buyer);
  xmlAddChild(inf, cancellation.total.Build(d, {NewElement(d, "vCFe", sale.total)}));
  if (cancellation.extra) xmlAddChild(inf, cancellation.extra->Build(d, {}));

  return Finish(d, inf, issuer, header, sale.total, sale.buyer, coupon, error);
}

}  // namespace satemu
