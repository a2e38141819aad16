// Exact decimal amounts. Every value of the documents is an integer count of
// a fixed fraction (cents for money, ten-thousandths for quantities and the
// PIS/COFINS rates), so sums and products never pick up the errors of binary
// floating point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovrad::cfe {

// Units of 10^-scale: Money(2490) is 24.90.
struct Scale {
  int decimals;
};
inline constexpr Scale kMoney{2};      // vUnCom has 3, every other value 2
inline constexpr Scale kQuantity{4};   // qCom, qBCProd
inline constexpr Scale kUnitPrice{3};  // vUnCom
inline constexpr Scale kPercent{2};    // pICMS, vAliq (ISSQN): 18.00 is 1800
inline constexpr Scale kFraction{4};   // pPIS, pCOFINS: 0.0165 is 165; vAliqProd

// The largest amount of a money field: 13 digits before the point.
inline constexpr int64_t kMaxMoney = 999'999'999'999'999;

enum class DecimalError {
  kNone,
  kFormat,         // not digits with at most one point
  kTooManyDigits,  // more digits before the point than the field holds
  kTooManyDecimals,
};

// Reads "24.9" as 24900 at scale 3. No sign, no exponent, no blanks; fewer
// decimals than the scale are fine.
DecimalError ParseDecimal(std::string_view text, int max_integer, Scale scale, int64_t* units);

// 2490 at scale 2 is "24.90".
std::string FormatDecimal(int64_t units, Scale scale);

enum class Rounding {
  kAbnt,      // ABNT NBR 5891: to the nearest, an exact half to the even neighbour
  kTruncate,  // towards zero
};

// a * b / divisor, rounded; all non-negative, divisor positive. Empty when
// the result does not fit in 64 bits.
std::optional<int64_t> MultiplyRounded(int64_t a, int64_t b, int64_t divisor, Rounding rounding);

// Shares `amount` out in proportion to `weights` (non-negative, not all
// zero): each share rounded down, and the cents left over go one each to the
// largest remainders (the earlier item first among equals), so that the
// shares add up to `amount` exactly.
std::vector<int64_t> Apportion(int64_t amount, const std::vector<int64_t>& weights);

}  // namespace kovrad::cfe
