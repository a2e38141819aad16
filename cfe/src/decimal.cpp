#include "cfe/decimal.h"

#include <algorithm>
#include <numeric>

#include "cfe/identifiers.h"

namespace kovrad::cfe {
namespace {

using Wide = __int128;

int64_t TenTo(int exponent) {
  int64_t value = 1;
  for (int i = 0; i < exponent; ++i) value *= 10;
  return value;
}

}  // namespace

DecimalError ParseDecimal(std::string_view text, int max_integer, Scale scale, int64_t* units) {
  const size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.empty() || !AllDigits(whole) || !AllDigits(fraction) ||
      (point != std::string_view::npos && fraction.empty())) {
    return DecimalError::kFormat;
  }
  // Leading zeros do not count against the field's digits.
  const std::string_view significant =
      whole.substr(std::min(whole.find_first_not_of('0'), whole.size()));
  if (significant.size() > static_cast<size_t>(max_integer)) return DecimalError::kTooManyDigits;
  const std::string_view decimals = fraction.substr(0, fraction.find_last_not_of('0') + 1);
  if (decimals.size() > static_cast<size_t>(scale.decimals)) return DecimalError::kTooManyDecimals;
  int64_t value = 0;
  for (char c : significant) value = value * 10 + (c - '0');
  for (int i = 0; i < scale.decimals; ++i) {
    value = value * 10 + (static_cast<size_t>(i) < decimals.size() ? decimals[i] - '0' : 0);
  }
  *units = value;
  return DecimalError::kNone;
}

std::string FormatDecimal(int64_t units, Scale scale) {
  const int64_t unit = TenTo(scale.decimals);
  std::string fraction = std::to_string(units % unit);
  fraction.insert(0, static_cast<size_t>(scale.decimals) - fraction.size(), '0');
  return std::to_string(units / unit) + "." + fraction;
}

std::optional<int64_t> MultiplyRounded(int64_t a, int64_t b, int64_t divisor, Rounding rounding) {
  const Wide product = Wide{a} * b;
  Wide quotient = product / divisor;
  const Wide rest = product % divisor;
  if (rounding == Rounding::kAbnt) {
    const Wide twice = rest * 2;
    if (twice > divisor || (twice == divisor && quotient % 2 != 0)) ++quotient;
  }
  if (quotient > INT64_MAX) return std::nullopt;
  return static_cast<int64_t>(quotient);
}

std::vector<int64_t> Apportion(int64_t amount, const std::vector<int64_t>& weights) {
  const Wide sum = std::accumulate(weights.begin(), weights.end(), Wide{0});
  std::vector<int64_t> shares(weights.size(), 0);
  if (sum == 0) return shares;
  std::vector<std::pair<Wide, size_t>> remainders;
  int64_t left = amount;
  for (size_t i = 0; i < weights.size(); ++i) {
    const Wide part = Wide{amount} * weights[i];
    shares[i] = static_cast<int64_t>(part / sum);
    left -= shares[i];
    remainders.emplace_back(part % sum, i);
  }
  std::stable_sort(remainders.begin(), remainders.end(),
                   [](const auto& x, const auto& y) { return x.first > y.first; });
  for (size_t k = 0; left > 0; ++k, --left) ++shares[remainders[k].second];
  return shares;
}

}  // namespace kovrad::cfe
