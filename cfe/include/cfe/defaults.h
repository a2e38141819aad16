// The values a till would otherwise compute by hand, filled in where the
// sale leaves them empty:
// - emit.indRatISSQN: "N"; prod.indRegra: "A" (qCom x vUnCom rounded);
// - PIS and COFINS by value (PISAliq, PISOutr, COFINS alike) without vBC:
//   the item's value, vProd - vDesc + vOutro; by quantity (PISQtde, or
//   PISOutr with vAliqProd) without qBCProd: qCom;
// - total.vCFeLei12741: the sum of the items' vItem12741, when any has one.
// Nothing that is set is changed.
#pragma once

#include <optional>
#include <string>

#include "cfe/refusal.h"
#include "cfe/sale.h"
#include "cfe/totals.h"

namespace kovrad::cfe {

void Complete(Sale* sale);

// A sale ready for the device: completed, checked, its totals and XML.
struct Prepared {
  Refusals refusals;  // empty when the sale may be sent
  std::optional<Totals> totals;
  std::string xml;
};
Prepared Prepare(Sale sale);

struct PreparedCancellation {
  Refusals refusals;
  std::string xml;
};
PreparedCancellation Prepare(const Cancellation& cancellation);

}  // namespace kovrad::cfe
