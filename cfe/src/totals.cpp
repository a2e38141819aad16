#include "cfe/totals.h"

#include <string>

#include "cfe/decimal.h"

namespace kovrad::cfe {
namespace {

// qCom (10^-4) x vUnCom (10^-3) is in 10^-7 reais: 10^5 of them to the cent.
constexpr int64_t kProductDivisor = 100'000;
// cents x pICMS (10^-2 %) and cents x pPIS (10^-4): 10^4 to the cent.
constexpr int64_t kRateDivisor = 10'000;
// qBCProd (10^-4) x vAliqProd (10^-4 reais): 10^6 to the cent.
constexpr int64_t kQuantityRateDivisor = 1'000'000;

std::string Item(size_t index) {
  return "det[" + std::to_string(index + 1) + "]";
}

class Adder {
 public:
  explicit Adder(Refusals* refusals) : refusals_(refusals) {}

  // sum += value, refused with `path` when it leaves a money field's range.
  bool Add(int64_t* sum, int64_t value, const std::string& path) {
    if (value <= kMaxMoney - *sum) {
      *sum += value;
      return true;
    }
    return TooLarge(path);
  }
  bool Product(int64_t a, int64_t b, int64_t divisor, Rounding rounding, const std::string& path,
               std::optional<int64_t>* out) {
    const auto value = MultiplyRounded(a, b, divisor, rounding);
    if (!value || *value > kMaxMoney) return TooLarge(path);
    *out = *value;
    return true;
  }
  bool TooLarge(const std::string& path) {
    return Refuse(path, "", "valor acima do limite de 13 dígitos inteiros");
  }
  bool Refuse(const std::string& path, const char* code, std::string message) {
    refusals_->push_back({path, code, std::move(message)});
    return false;
  }

 private:
  Refusals* refusals_;
};

bool Contribute(Adder& adder, const Contribution& c, const std::string& path,
                std::optional<int64_t>* value) {
  if (c.group == Contribution::Group::kNT || c.group == Contribution::Group::kSN) return true;
  if (c.vBC && c.rate) {
    return adder.Product(*c.vBC, *c.rate, kRateDivisor, Rounding::kAbnt, path, value);
  }
  if (c.qBCProd && c.vAliqProd) {
    return adder.Product(*c.qBCProd, *c.vAliqProd, kQuantityRateDivisor, Rounding::kAbnt, path,
                         value);
  }
  return true;
}

bool Substitute(Adder& adder, const std::optional<Substitution>& s, const std::string& path,
                std::optional<int64_t>* value) {
  if (!s) return true;
  Contribution as{Contribution::Group::kOutr, "", s->vBC, s->rate, s->qBCProd, s->vAliqProd};
  return Contribute(adder, as, path, value);
}

// A service item's ISSQN base (its value less the deduction) and tax, added
// to ISSQNtot.
bool Service(Adder& adder, const Issqn& s, const Prod& p, const std::string& path, ItemTotals* out,
             Totals* t) {
  if (s.vDeducISSQN > out->vItem) {
    return adder.Refuse(path + ".vDeducISSQN", rejection::kServiceDeduction,
                        "dedução (" + FormatDecimal(s.vDeducISSQN, kMoney) +
                            ") maior que o valor do item (" + FormatDecimal(out->vItem, kMoney) +
                            ")");
  }
  out->vBCISSQN = out->vItem - s.vDeducISSQN;
  IssqnTot& sum = t->ISSQNtot ? *t->ISSQNtot : t->ISSQNtot.emplace();
  return adder.Product(*out->vBCISSQN, s.vAliq, kRateDivisor, Rounding::kAbnt, path,
                       &out->vISSQN) &&
         adder.Add(&sum.vBC, *out->vBCISSQN, path) && adder.Add(&sum.vISS, *out->vISSQN, path) &&
         adder.Add(&sum.vDeducISS, s.vDeducISSQN, path) &&
         adder.Add(&sum.vOutro, p.vOutro.value_or(0), path);
}

// vProd, the net value and the ICMSTot sums that come before the subtotal.
bool ItemValues(Adder& adder, const Sale& sale, Totals* t) {
  for (size_t i = 0; i < sale.det.size(); ++i) {
    const Prod& p = sale.det[i].prod;
    ItemTotals& out = t->det[i];
    std::optional<int64_t> product;
    const Rounding rounding = p.indRegra == "T" ? Rounding::kTruncate : Rounding::kAbnt;
    if (!adder.Product(p.qCom, p.vUnCom, kProductDivisor, rounding, Item(i) + ".prod.vProd",
                       &product)) {
      return false;
    }
    out.vProd = *product;
    const int64_t discount = p.vDesc.value_or(0), other = p.vOutro.value_or(0);
    if (discount > out.vProd + other) {
      return adder.Refuse(Item(i) + ".prod.vDesc", rejection::kItemDiscount,
                          "desconto (" + FormatDecimal(discount, kMoney) +
                              ") maior que o valor do item (" +
                              FormatDecimal(out.vProd + other, kMoney) + ")");
    }
    out.net = out.vProd - discount + other;
    const std::string path = Item(i) + ".prod";
    if (!adder.Add(&t->vProd, out.vProd, path) || !adder.Add(&t->vDesc, discount, path) ||
        !adder.Add(&t->vOutro, other, path) || !adder.Add(&t->subtotal, out.net, path)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<Totals> ComputeTotals(const Sale& sale, Refusals* refusals) {
  Refusals found;
  Adder adder(&found);
  Totals t;
  t.det.resize(sale.det.size());
  const auto fail = [&]() {
    refusals->insert(refusals->end(), found.begin(), found.end());
    return std::nullopt;
  };
  if (!ItemValues(adder, sale, &t)) return fail();
  const int64_t discount = sale.total.vDescSubtot.value_or(0);
  const int64_t charge = sale.total.vAcresSubtot.value_or(0);
  std::vector<int64_t> weights;
  int64_t shared = 0;  // the net values of the items that share DescAcrEntr
  for (size_t i = 0; i < sale.det.size(); ++i) {
    const bool shares = !sale.det[i].imposto.ISSQN || sale.emit.indRatISSQN == "S";
    weights.push_back(shares ? t.det[i].net : 0);
    shared += weights.back();
  }
  if (discount > 0 && discount >= shared) {
    adder.Refuse(
        "total.DescAcrEntr.vDescSubtot", rejection::kSubtotalDiscount,
        "desconto sobre o subtotal deve ser menor que o subtotal dos itens que o rateiam (" +
            FormatDecimal(shared, kMoney) + ")");
    return fail();
  }
  if (charge > 0 && shared == 0) {
    adder.Refuse("total.DescAcrEntr.vAcresSubtot", "",
                 "acréscimo sobre um subtotal igual a zero (itens que o rateiam)");
    return fail();
  }
  const auto discounts = Apportion(discount, weights), charges = Apportion(charge, weights);
  t.vCFe = t.subtotal - discount;
  if (!adder.Add(&t.vCFe, charge, "total.DescAcrEntr.vAcresSubtot")) return fail();
  for (size_t i = 0; i < sale.det.size(); ++i) {
    const Imposto& tax = sale.det[i].imposto;
    ItemTotals& out = t.det[i];
    const std::string path = Item(i) + ".imposto";
    out.vRatDesc = discounts[i];
    out.vRatAcr = charges[i];
    out.vItem = out.net - out.vRatDesc + out.vRatAcr;
    if (tax.ICMS && tax.ICMS->pICMS &&
        !adder.Product(out.vItem, *tax.ICMS->pICMS, kRateDivisor, Rounding::kAbnt, path + ".ICMS",
                       &out.vICMS)) {
      return fail();
    }
    if (!Contribute(adder, tax.PIS, path + ".PIS", &out.vPIS) ||
        !Substitute(adder, tax.PISST, path + ".PISST", &out.vPISST) ||
        !Contribute(adder, tax.COFINS, path + ".COFINS", &out.vCOFINS) ||
        !Substitute(adder, tax.COFINSST, path + ".COFINSST", &out.vCOFINSST)) {
      return fail();
    }
    if (tax.ISSQN && !Service(adder, *tax.ISSQN, sale.det[i].prod, path + ".ISSQN", &out, &t)) {
      return fail();
    }
    IssqnTot none;
    IssqnTot& s = tax.ISSQN ? *t.ISSQNtot : none;
    int64_t* pis = tax.ISSQN ? &s.vPIS : &t.vPIS;
    int64_t* cofins = tax.ISSQN ? &s.vCOFINS : &t.vCOFINS;
    int64_t* pis_st = tax.ISSQN ? &s.vPISST : &t.vPISST;
    int64_t* cofins_st = tax.ISSQN ? &s.vCOFINSST : &t.vCOFINSST;
    for (auto [sum, value] : {std::pair{&t.vICMS, out.vICMS},
                              {pis, out.vPIS},
                              {pis_st, out.vPISST},
                              {cofins, out.vCOFINS},
                              {cofins_st, out.vCOFINSST}}) {
      if (!adder.Add(sum, value.value_or(0), path)) return fail();
    }
    if (!adder.Add(&t.vCFeLei12741, tax.vItem12741.value_or(0), path + ".vItem12741")) {
      return fail();
    }
  }
  if (sale.total.vCFeLei12741) t.vCFeLei12741 = *sale.total.vCFeLei12741;
  for (size_t i = 0; i < sale.pgto.size(); ++i) {
    if (!adder.Add(&t.paid, sale.pgto[i].vMP, "pgto.MP[" + std::to_string(i + 1) + "].vMP")) {
      return fail();
    }
  }
  if (t.paid < t.vCFe) {
    adder.Refuse("pgto", rejection::kPaymentsShort,
                 "pagamentos (" + FormatDecimal(t.paid, kMoney) + ") não cobrem o total do CF-e (" +
                     FormatDecimal(t.vCFe, kMoney) + ")");
    return fail();
  }
  t.vTroco = t.paid - t.vCFe;
  return t;
}

}  // namespace kovrad::cfe
