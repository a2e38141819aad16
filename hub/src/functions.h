// The functions tills call through the hub, by route name: the fields each
// takes, how they are checked and how they become the export's arguments.
// Both APIs share this table; the activation code is the hub's, never a
// till's.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/functions.h"

namespace kovrad::hub {

using Fields = std::map<std::string, std::string>;

// The library's limit on a sale document.
inline constexpr size_t kDocumentLimit = 2097151;

struct Prepared {
  std::vector<std::string> arguments;  // after the session number
  std::string new_code;                // a code change: the code kept after success
};

struct HubFunction {
  const client::Function* function = nullptr;
  std::string route;   // the export name in lower case: "enviardadosvenda"
  bool large = false;  // takes a document: the larger body limit
  // The export's arguments, or the message (Portuguese) for the till.
  std::optional<std::string> (*prepare)(const Fields& fields, const std::string& code,
                                        Prepared* out) = nullptr;
};

// The function of that route name; null when none. ConsultarUltimaSessaoFiscal
// is not among them: the hub answers it from its ledger.
const HubFunction* FindHubFunction(std::string_view route);
const std::vector<HubFunction>& HubFunctions();

// Checks a till number as sent ("0" to "999").
bool ParseTill(std::string_view text, int* till);

}  // namespace kovrad::hub
