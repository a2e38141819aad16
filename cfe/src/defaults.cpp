#include "cfe/defaults.h"

#include <algorithm>

#include "cfe/check.h"
#include "cfe/decimal.h"
#include "cfe/xml_writer.h"

namespace kovrad::cfe {
namespace {

// vProd - vDesc + vOutro, as the device computes vProd; empty when it does
// not fit (the check refuses that sale). Never below zero: a discount past
// the item's value is refused as such by the totals.
std::optional<int64_t> NetValue(const Prod& p) {
  const auto product = MultiplyRounded(p.qCom, p.vUnCom, 100'000,
                                       p.indRegra == "T" ? Rounding::kTruncate : Rounding::kAbnt);
  if (!product || *product > kMaxMoney || p.qCom < 0 || p.vUnCom < 0) return std::nullopt;
  return std::max<int64_t>(0, *product - p.vDesc.value_or(0) + p.vOutro.value_or(0));
}

void CompleteBasis(const Prod& p, Contribution* c) {
  using G = Contribution::Group;
  if (c->group == G::kAliq || (c->group == G::kOutr && c->rate && !c->vAliqProd)) {
    if (!c->vBC) c->vBC = NetValue(p);
  }
  if (c->group == G::kQtde || (c->group == G::kOutr && c->vAliqProd && !c->rate)) {
    if (!c->qBCProd) c->qBCProd = p.qCom;
  }
}

}  // namespace

void Complete(Sale* sale) {
  if (sale->emit.indRatISSQN.empty()) sale->emit.indRatISSQN = "N";
  bool any_approximate = false;
  int64_t approximate = 0;
  for (Det& det : sale->det) {
    if (det.prod.indRegra.empty()) det.prod.indRegra = "A";
    CompleteBasis(det.prod, &det.imposto.PIS);
    CompleteBasis(det.prod, &det.imposto.COFINS);
    if (const auto& value = det.imposto.vItem12741) {
      any_approximate = true;
      approximate += *value >= 0 && *value <= kMaxMoney - approximate ? *value : 0;
    }
  }
  if (!sale->total.vCFeLei12741 && any_approximate) sale->total.vCFeLei12741 = approximate;
}

Prepared Prepare(Sale sale) {
  Complete(&sale);
  Prepared prepared;
  prepared.refusals = Check(sale);
  if (!prepared.refusals.empty()) return prepared;
  prepared.totals = ComputeTotals(sale, &prepared.refusals);
  prepared.xml = WriteXml(sale);
  return prepared;
}

PreparedCancellation Prepare(const Cancellation& cancellation) {
  PreparedCancellation prepared;
  prepared.refusals = Check(cancellation);
  if (prepared.refusals.empty()) prepared.xml = WriteXml(cancellation);
  return prepared;
}

}  // namespace kovrad::cfe
