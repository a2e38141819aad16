// The rules of the layout a till can know before sending: identifiers and
// their check digits, lengths and formats, decimals and ranges, the groups
// each tax situation allows, item and payment limits, and the amounts (see
// totals.h). Every refusal is reported, not only the first.
#pragma once

#include "cfe/refusal.h"
#include "cfe/sale.h"

namespace kovrad::cfe {

// `sale` as Complete() (defaults.h) leaves it. The amounts are added up
// (totals.h) only when no value they are made of is refused, here or in
// `earlier` (the JSON reader's), so that one wrong value is refused once.
Refusals Check(const Sale& sale, const Refusals& earlier = {});
Refusals Check(const Cancellation& cancellation);

inline constexpr size_t kMaxItems = 500;
inline constexpr size_t kMaxPayments = 10;

}  // namespace kovrad::cfe
