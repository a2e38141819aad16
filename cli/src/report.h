// What satcli prints after a call: the reply (or result) and the link error
// record, as text for people or as JSON for scripts, and the exit status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog.h"
#include "client/recovery.h"
#include "kovrad.h"

namespace kovrad::cli {

using client::Recovery;
using client::SaleFate;

struct Report {
  const Function* function = nullptr;
  int32_t session = 0;
  Outcome outcome;
  std::optional<COMM_ERROR> record;  // after functions that talk to the device
  // ConsultarNumeroSessao: the session looked up, whose number its reply carries.
  std::optional<int32_t> looked_up;
  // A sale whose reply was lost, settled by asking the device.
  std::optional<Recovery> recovery;
  // What a link failure was, in words, with what to do (as printed on error).
  std::string diagnosis;
};

// The exit status the report calls for.
Status Judge(const Report& report);

// Whether the reply line carries a session number that is neither the
// request's nor the one looked up.
bool FromOtherSession(const Report& report);

// The fate of a lost sale in words, for people ("made") and for JSON ("feita").
std::string_view FateText(SaleFate fate);
std::string_view FateName(SaleFate fate);

// Texts come back from the library in UTF-8 or Windows-1252; both print as UTF-8.
std::string PlainReport(const Report& report);
std::string JsonReport(const Report& report);

// `text` (valid UTF-8) as a JSON string, quotes included.
std::string JsonString(std::string_view text);

}  // namespace kovrad::cli
