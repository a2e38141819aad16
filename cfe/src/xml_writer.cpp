#include "cfe/xml_writer.h"

#include "cfe/decimal.h"

namespace kovrad::cfe {
namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

void Escape(std::string_view text, std::string* out) {
  for (char c : text) {
    switch (c) {
      case '&':
        *out += "&amp;";
        break;
      case '<':
        *out += "&lt;";
        break;
      case '>':
        *out += "&gt;";
        break;
      case '"':
        *out += "&quot;";
        break;
      default:
        *out += c;
    }
  }
}

class Writer {
 public:
  void Open(const char* name) { out_ += '<', out_ += name, out_ += '>'; }
  void Open(const char* name, const char* attribute, std::string_view value) {
    out_ += '<', out_ += name, out_ += ' ', out_ += attribute, out_ += "=\"";
    Escape(value, &out_);
    out_ += "\">";
  }
  void Close(const char* name) { out_ += "</", out_ += name, out_ += '>'; }
  void Empty(const char* name) { out_ += '<', out_ += name, out_ += "/>"; }

  // An element with text; nothing for an empty text (an absent field).
  void Text(const char* name, std::string_view value) {
    if (value.empty()) return;
    Open(name);
    Escape(value, &out_);
    Close(name);
  }
  void Decimal(const char* name, const std::optional<int64_t>& units, Scale scale) {
    if (units) Text(name, FormatDecimal(*units, scale));
  }

  std::string& out() { return out_; }

 private:
  std::string out_;
};

void WriteIde(Writer& w, const Ide& ide) {
  w.Open("ide");
  w.Text("CNPJ", ide.CNPJ);
  w.Text("signAC", ide.signAC);
  w.Text("numeroCaixa", ide.numeroCaixa);
  w.Close("ide");
}

void WriteBuyer(Writer& w, const Dest& dest, bool name) {
  if (dest.CNPJ.empty() && dest.CPF.empty() && (!name || dest.xNome.empty())) {
    return w.Empty("dest");
  }
  w.Open("dest");
  w.Text("CNPJ", dest.CNPJ);
  w.Text("CPF", dest.CPF);
  if (name) w.Text("xNome", dest.xNome);
  w.Close("dest");
}

void WriteProduct(Writer& w, const Prod& p) {
  w.Open("prod");
  w.Text("cProd", p.cProd);
  w.Text("cEAN", p.cEAN);
  w.Text("xProd", p.xProd);
  w.Text("NCM", p.NCM);
  w.Text("CEST", p.CEST);
  w.Text("CFOP", p.CFOP);
  w.Text("uCom", p.uCom);
  w.Decimal("qCom", p.qCom, kQuantity);
  // Two decimals unless the price has a third.
  w.Text("vUnCom", p.vUnCom % 10 == 0 ? FormatDecimal(p.vUnCom / 10, kMoney)
                                      : FormatDecimal(p.vUnCom, kUnitPrice));
  w.Text("indRegra", p.indRegra);
  w.Decimal("vDesc", p.vDesc, kMoney);
  w.Decimal("vOutro", p.vOutro, kMoney);
  for (const ObsFiscoDet& obs : p.obsFiscoDet) {
    w.Open("obsFiscoDet", "xCampoDet", obs.xCampoDet);
    w.Text("xTextoDet", obs.xTextoDet);
    w.Close("obsFiscoDet");
  }
  w.Close("prod");
}

void WriteIcms(Writer& w, const Icms& icms) {
  static const char* kNames[] = {"ICMS00", "ICMS40", "ICMSSN102", "ICMSSN900"};
  const char* group = kNames[static_cast<int>(icms.group)];
  w.Open("ICMS");
  w.Open(group);
  w.Text("Orig", icms.Orig);
  w.Text("CST", icms.CST);
  w.Text("CSOSN", icms.CSOSN);
  w.Decimal("pICMS", icms.pICMS, kPercent);
  w.Close(group);
  w.Close("ICMS");
}

void WriteBasis(Writer& w, const char* rate, const std::optional<int64_t>& vBC,
                const std::optional<int64_t>& percent, const std::optional<int64_t>& qBCProd,
                const std::optional<int64_t>& vAliqProd) {
  w.Decimal("vBC", vBC, kMoney);
  w.Decimal(rate, percent, kFraction);
  w.Decimal("qBCProd", qBCProd, kQuantity);
  w.Decimal("vAliqProd", vAliqProd, kFraction);
}

void WriteContribution(Writer& w, const std::string& tax, const Contribution& c,
                       const std::optional<Substitution>& st) {
  static const char* kSuffixes[] = {"Aliq", "Qtde", "NT", "SN", "Outr"};
  const std::string group = tax + kSuffixes[static_cast<int>(c.group)], rate = "p" + tax;
  w.Open(tax.c_str());
  w.Open(group.c_str());
  w.Text("CST", c.CST);
  WriteBasis(w, rate.c_str(), c.vBC, c.rate, c.qBCProd, c.vAliqProd);
  w.Close(group.c_str());
  w.Close(tax.c_str());
  if (!st) return;
  const std::string name = tax + "ST";
  w.Open(name.c_str());
  WriteBasis(w, rate.c_str(), st->vBC, st->rate, st->qBCProd, st->vAliqProd);
  w.Close(name.c_str());
}

void WriteIssqn(Writer& w, const Issqn& s) {
  w.Open("ISSQN");
  w.Decimal("vDeducISSQN", s.vDeducISSQN, kMoney);
  w.Decimal("vAliq", s.vAliq, kPercent);
  w.Text("cMunFG", s.cMunFG);
  w.Text("cListServ", s.cListServ);
  w.Text("cServTribMun", s.cServTribMun);
  w.Text("cNatOp", s.cNatOp);
  w.Text("indIncFisc", s.indIncFisc);
  w.Close("ISSQN");
}

void WriteItem(Writer& w, size_t number, const Det& det) {
  w.Open("det", "nItem", std::to_string(number));
  WriteProduct(w, det.prod);
  const Imposto& tax = det.imposto;
  w.Open("imposto");
  w.Decimal("vItem12741", tax.vItem12741, kMoney);
  if (tax.ICMS) WriteIcms(w, *tax.ICMS);
  WriteContribution(w, "PIS", tax.PIS, tax.PISST);
  WriteContribution(w, "COFINS", tax.COFINS, tax.COFINSST);
  if (tax.ISSQN) WriteIssqn(w, *tax.ISSQN);
  w.Close("imposto");
  w.Text("infAdProd", det.infAdProd);
  w.Close("det");
}

void WriteTotal(Writer& w, const Total& total) {
  if (!total.vDescSubtot && !total.vAcresSubtot && !total.vCFeLei12741) return w.Empty("total");
  w.Open("total");
  if (total.vDescSubtot || total.vAcresSubtot) {
    w.Open("DescAcrEntr");
    w.Decimal("vDescSubtot", total.vDescSubtot, kMoney);
    w.Decimal("vAcresSubtot", total.vAcresSubtot, kMoney);
    w.Close("DescAcrEntr");
  }
  w.Decimal("vCFeLei12741", total.vCFeLei12741, kMoney);
  w.Close("total");
}

}  // namespace

std::string WriteXml(const Sale& sale) {
  Writer w;
  w.out().reserve(1024 + sale.det.size() * 700);
  w.out() += kDeclaration;
  w.Open("CFe");
  w.Open("infCFe", "versaoDadosEnt", VersionText(sale.versaoDadosEnt));
  WriteIde(w, sale.ide);
  w.Open("emit");
  w.Text("CNPJ", sale.emit.CNPJ);
  w.Text("IE", sale.emit.IE);
  w.Text("IM", sale.emit.IM);
  w.Text("cRegTribISSQN", sale.emit.cRegTribISSQN);
  w.Text("indRatISSQN", sale.emit.indRatISSQN);
  w.Close("emit");
  WriteBuyer(w, sale.dest, true);
  if (sale.entrega) {
    const Entrega& e = *sale.entrega;
    w.Open("entrega");
    w.Text("xLgr", e.xLgr);
    w.Text("nro", e.nro);
    w.Text("xCpl", e.xCpl);
    w.Text("xBairro", e.xBairro);
    w.Text("xMun", e.xMun);
    w.Text("UF", e.UF);
    w.Close("entrega");
  }
  for (size_t i = 0; i < sale.det.size(); ++i) WriteItem(w, i + 1, sale.det[i]);
  WriteTotal(w, sale.total);
  w.Open("pgto");
  for (const MP& mp : sale.pgto) {
    w.Open("MP");
    w.Text("cMP", mp.cMP);
    w.Decimal("vMP", mp.vMP, kMoney);
    w.Text("cAdmC", mp.cAdmC);
    w.Close("MP");
  }
  w.Close("pgto");
  if (!sale.infCpl.empty()) {
    w.Open("infAdic");
    w.Text("infCpl", sale.infCpl);
    w.Close("infAdic");
  }
  w.Close("infCFe");
  w.Close("CFe");
  return std::move(w.out());
}

std::string WriteXml(const Cancellation& cancellation) {
  Writer w;
  w.out() += kDeclaration;
  w.Open("CFeCanc");
  w.Open("infCFe", "chCanc", cancellation.chCanc);
  WriteIde(w, cancellation.ide);
  w.Empty("emit");
  WriteBuyer(w, cancellation.dest, false);
  w.Empty("total");
  w.Close("infCFe");
  w.Close("CFeCanc");
  return std::move(w.out());
}

}  // namespace kovrad::cfe
