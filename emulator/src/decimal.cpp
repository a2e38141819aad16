#include "decimal.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace satemu {
namespace {

using Wide = __int128;

int64_t Power10(int exponent) {
  int64_t value = 1;
  while (exponent-- > 0) value *= 10;
  return value;
}

}  // namespace

bool ParseDecimal(std::string_view text, int max_integer, int scale, int64_t* units) {
  const size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  const auto digits = [](std::string_view part) {
    return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (whole.empty() || whole.size() > static_cast<size_t>(max_integer) || !digits(whole) ||
      (point != std::string_view::npos && fraction.empty()) ||
      fraction.size() > static_cast<size_t>(scale) || !digits(fraction)) {
    return false;
  }
  int64_t value = 0;
  for (char c : whole) value = value * 10 + (c - '0');
  for (int i = 0; i < scale; ++i) {
    value = value * 10 + (static_cast<size_t>(i) < fraction.size() ? fraction[i] - '0' : 0);
  }
  *units = value;
  return true;
}

std::string FormatDecimal(int64_t units, int scale) {
  const int64_t unit = Power10(scale);
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%0*lld", static_cast<long long>(units / unit), scale,
                static_cast<long long>(units % unit));
  return text;
}

bool MultiplyRounded(int64_t a, int64_t b, int64_t divisor, Rounding rounding, int64_t* result) {
  const Wide product = Wide{a} * b;
  Wide quotient = product / divisor;
  const Wide twice_rest = product % divisor * 2;
  if (rounding == Rounding::kAbnt &&
      (twice_rest > divisor || (twice_rest == divisor && quotient % 2 == 1))) {
    ++quotient;
  }
  if (quotient > INT64_MAX) return false;
  *result = static_cast<int64_t>(quotient);
  return true;
}

std::vector<int64_t> Apportion(int64_t amount, const std::vector<int64_t>& weights) {
  const Wide total = std::accumulate(weights.begin(), weights.end(), Wide{0});
  std::vector<int64_t> shares(weights.size());
  std::vector<Wide> rests(weights.size());
  int64_t given = 0;
  for (size_t i = 0; i < weights.size(); ++i) {
    const Wide product = Wide{amount} * weights[i];
    shares[i] = static_cast<int64_t>(product / total);
    rests[i] = product % total;
    given += shares[i];
  }
  std::vector<size_t> order(weights.size());
  std::iota(order.begin(), order.end(), 0);
  // Stable, so that equal remainders go to the earlier items first.
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t x, size_t y) { return rests[x] > rests[y]; });
  for (size_t i = 0; given < amount; ++i, ++given) ++shares[order[i]];
  return shares;
}

}  // namespace satemu
