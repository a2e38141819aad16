#include "sale_totals.h"

namespace satemu {
namespace {

constexpr int64_t kCentsPerUnitPrice = 100000;      // qCom (10^-4) * vUnCom (10^-3) to cents
constexpr int64_t kPercentRate = 10000;             // cents * pICMS (10^-2 %) to cents
constexpr int64_t kFractionRate = 10000;            // cents * pPIS (10^-4) to cents
constexpr int64_t kCentsPerQuantityRate = 1000000;  // qBCProd (10^-4) * vAliqProd (10^-4) to cents

// Adds `value` to `sum` while both stay within a coupon field.
bool Add(int64_t* sum, int64_t value) {
  if (value > kMaxCents - *sum) return false;
  *sum += value;
  return true;
}

bool Product(int64_t a, int64_t b, int64_t divisor, Rounding rounding,
             std::optional<int64_t>* out) {
  int64_t value = 0;
  if (!MultiplyRounded(a, b, divisor, rounding, &value) || value > kMaxCents) return false;
  *out = value;
  return true;
}

bool Contribute(const Contribution& c, std::optional<int64_t>* value) {
  switch (c.basis) {
    case Contribution::Basis::kValue:
      return Product(c.base, c.rate, kFractionRate, Rounding::kAbnt, value);
    case Contribution::Basis::kQuantity:
      return Product(c.base, c.rate, kCentsPerQuantityRate, Rounding::kAbnt, value);
    case Contribution::Basis::kNone:
      break;
  }
  return true;
}

std::string Item(size_t index) {
  return " no item " + std::to_string(index + 1);
}

// vBC (the item's value less the deduction) and vISSQN of a service item,
// added to ISSQNtot.
bool TaxService(const ItemValues& in, size_t index, ItemTotals* out, SaleTotals* t,
                std::string* error) {
  const int64_t deduction = in.service->deduction;
  if (deduction > out->item) {
    *error = "dedução do ISSQN maior que o valor" + Item(index);
    return Reject(rejection::kServiceDeduction, error);
  }
  out->service_base = out->item - deduction;
  if (!Product(*out->service_base, in.service->rate, kPercentRate, Rounding::kAbnt,
               &out->service_tax)) {
    return *error = "valor acima do limite de 13 dígitos inteiros" + Item(index), false;
  }
  ServiceTotals& s = t->services ? *t->services : t->services.emplace();
  return (Add(&s.base, *out->service_base) && Add(&s.tax, *out->service_tax) &&
          Add(&s.deductions, deduction) && Add(&s.others, in.other)) ||
         (*error = "valor acima do limite de 13 dígitos inteiros", false);
}

}  // namespace

bool ComputeTotals(const SaleValues& sale, SaleTotals* totals, std::string* error) {
  const std::string too_large = "valor acima do limite de 13 dígitos inteiros";
  SaleTotals t;
  t.items.resize(sale.items.size());
  std::vector<int64_t> net(sale.items.size());
  int64_t subtotal = 0;
  for (size_t i = 0; i < sale.items.size(); ++i) {
    const ItemValues& in = sale.items[i];
    std::optional<int64_t> product;
    if (!Product(in.quantity, in.unit_price, kCentsPerUnitPrice, in.rounding, &product)) {
      return *error = too_large + Item(i), false;
    }
    t.items[i].product = *product;
    if (in.discount > *product + in.other) {
      *error = "desconto maior que o valor" + Item(i);
      return Reject(rejection::kItemDiscount, error);
    }
    net[i] = *product - in.discount + in.other;
    if (!Add(&t.products, *product) || !Add(&t.discounts, in.discount) ||
        !Add(&t.others, in.other) || !Add(&subtotal, net[i])) {
      return *error = too_large, false;
    }
  }
  // Service items share a discount or charge on the subtotal only when the
  // emitter says so (indRatISSQN).
  std::vector<int64_t> weights = net;
  int64_t shared_subtotal = 0;
  for (size_t i = 0; i < weights.size(); ++i) {
    if (sale.items[i].service && !sale.services_share) weights[i] = 0;
    shared_subtotal += weights[i];
  }
  if (sale.subtotal_discount >= shared_subtotal && sale.subtotal_discount > 0) {
    *error = "desconto sobre o subtotal não é menor que o subtotal dos itens que o rateiam";
    return Reject(rejection::kSubtotalDiscount, error);
  }
  if (sale.subtotal_charge > 0 && shared_subtotal == 0) {
    return *error = "acréscimo sobre um subtotal zero", false;
  }
  std::vector<int64_t> shared_discount(net.size()), shared_charge(net.size());
  if (sale.subtotal_discount > 0) shared_discount = Apportion(sale.subtotal_discount, weights);
  if (sale.subtotal_charge > 0) shared_charge = Apportion(sale.subtotal_charge, weights);

  for (size_t i = 0; i < sale.items.size(); ++i) {
    const ItemValues& in = sale.items[i];
    ItemTotals& out = t.items[i];
    out.shared_discount = shared_discount[i];
    out.shared_charge = shared_charge[i];
    out.item = net[i] - shared_discount[i];
    if (!Add(&out.item, shared_charge[i]) || !Add(&t.total, out.item) ||
        (in.icms_rate &&
         !Product(out.item, *in.icms_rate, kPercentRate, Rounding::kAbnt, &out.icms)) ||
        !Contribute(in.pis, &out.pis) || !Contribute(in.pis_st, &out.pis_st) ||
        !Contribute(in.cofins, &out.cofins) || !Contribute(in.cofins_st, &out.cofins_st)) {
      return *error = too_large + Item(i), false;
    }
    if (in.service && !TaxService(in, i, &out, &t, error)) return false;
    int64_t* pis = &t.pis;
    int64_t* cofins = &t.cofins;
    int64_t* pis_st = &t.pis_st;
    int64_t* cofins_st = &t.cofins_st;
    if (in.service) {
      ServiceTotals& s = *t.services;
      pis = &s.pis, cofins = &s.cofins, pis_st = &s.pis_st, cofins_st = &s.cofins_st;
    }
    for (auto [sum, value] : {std::pair{&t.icms, out.icms},
                              {pis, out.pis},
                              {pis_st, out.pis_st},
                              {cofins, out.cofins},
                              {cofins_st, out.cofins_st}}) {
      if (!Add(sum, value.value_or(0))) return *error = too_large, false;
    }
  }
  int64_t paid = 0;
  for (int64_t payment : sale.payments) {
    if (!Add(&paid, payment)) return *error = too_large, false;
  }
  if (paid < t.total) {
    *error = "valor pago menor que o total do CF-e";
    return Reject(rejection::kPaymentsShort, error);
  }
  t.change = paid - t.total;
  *totals = std::move(t);
  return true;
}

}  // namespace satemu
