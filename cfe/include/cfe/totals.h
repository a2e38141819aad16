// What the device will compute for a sale, computed the same way before it
// is sent: each item's value (vProd by indRegra), its share of a discount or
// surcharge on the subtotal (vRatDesc, vRatAcr), its taxes, and the coupon's
// totals and change. All amounts in cents.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "cfe/refusal.h"
#include "cfe/sale.h"

namespace kovrad::cfe {

struct ItemTotals {
  int64_t vProd = 0;     // qCom x vUnCom, rounded (indRegra A) or truncated (T)
  int64_t net = 0;       // vProd - vDesc + vOutro: the item's weight in the subtotal
  int64_t vRatDesc = 0;  // its share of vDescSubtot
  int64_t vRatAcr = 0;   // its share of vAcresSubtot
  int64_t vItem = 0;     // net - vRatDesc + vRatAcr
  std::optional<int64_t> vICMS, vPIS, vPISST, vCOFINS, vCOFINSST;
  std::optional<int64_t> vBCISSQN, vISSQN;  // a service item's ISSQN: vBC = vItem - vDeducISSQN
};

// ISSQNtot: the sums of the service items (those taxed by ISSQN).
struct IssqnTot {
  int64_t vBC = 0, vISS = 0, vPIS = 0, vCOFINS = 0, vPISST = 0, vCOFINSST = 0, vDeducISS = 0,
          vOutro = 0;
};

// ICMSTot's vProd, vDesc and vOutro count every item, its taxes those of the
// items taxed by ICMS; ISSQNtot is there when an item is a service.
struct Totals {
  std::vector<ItemTotals> det;
  int64_t vICMS = 0, vProd = 0, vDesc = 0, vPIS = 0, vCOFINS = 0, vPISST = 0, vCOFINSST = 0,
          vOutro = 0;  // ICMSTot
  std::optional<IssqnTot> ISSQNtot;
  int64_t subtotal = 0;      // the sum of the items' net values
  int64_t vCFe = 0;          // subtotal - vDescSubtot + vAcresSubtot
  int64_t paid = 0;          // the sum of vMP
  int64_t vTroco = 0;        // paid - vCFe
  int64_t vCFeLei12741 = 0;  // as sent, or the sum of the items'
};

// The totals of `sale` (with its defaults filled, see defaults.h); the
// refusals of the rules on amounts when it does not add up: a discount past
// what it discounts (a subtotal's discount is shared by the service items
// only when emit.indRatISSQN is "S"), an ISSQN deduction past the item's
// value, payments short of the total, a value past 13 digits.
// Empty then.
std::optional<Totals> ComputeTotals(const Sale& sale, Refusals* refusals);

}  // namespace kovrad::cfe
