// The summary's figures as text, the same in its CSV and its PDF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/bundle.h"

namespace kovrad::archive {

// Cents with a decimal comma: 10220 -> "102,20".
std::string Money(int64_t cents);

// Sales, gross, discounts, surcharges, total, cancellations, cancelled, net.
std::vector<std::string> FigureCells(const Figures& figures);

}  // namespace kovrad::archive
