// The means of payment (cMP) by name, as extratos and summaries print them.
#pragma once

#include <string_view>

namespace kovrad::cfe {

// The name of payment code `code` ("01": "Dinheiro"); null for a code not
// known, which each caller names in its own way.
const char* PaymentMeansName(std::string_view code);

}  // namespace kovrad::cfe
