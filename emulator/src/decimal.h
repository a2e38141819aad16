// Exact decimal amounts for coupons. Every value is an integer count of a
// fixed fraction (cents for money, ten-thousandths for quantities and rates),
// so sums and products never pick up the errors of binary floating point.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace satemu {

// The largest amount a coupon field holds: 13 digits before the point, in cents.
inline constexpr int64_t kMaxCents = 999'999'999'999'999;

// Reads "250.5" as 250500 units of 10^-scale when scale is 3. At most
// `max_integer` digits before the point and `scale` after it (fewer are
// fine); no sign, no exponent, no blanks.
bool ParseDecimal(std::string_view text, int max_integer, int scale, int64_t* units);

// 25050 at scale 2 is "250.50".
std::string FormatDecimal(int64_t units, int scale);

enum class Rounding {
  kAbnt,      // ABNT NBR 5891: to the nearest, an exact half to the even neighbour
  kTruncate,  // towards zero
};

// a * b / divisor, rounded; all non-negative, divisor positive. False when
// the result does not fit in 64 bits.
bool MultiplyRounded(int64_t a, int64_t b, int64_t divisor, Rounding rounding, int64_t* result);

// Shares `amount` out in proportion to `weights` (non-negative, not all
// zero): each share is rounded down, and the cents left over go one each to
// the largest remainders, so the shares add up to `amount` exactly.
std::vector<int64_t> Apportion(int64_t amount, const std::vector<int64_t>& weights);

}  // namespace satemu
