// The device's result code as the operator's report after a call names it:
// the library composes "Codigo: <code>.\n<message>" from the reply, and the
// windows that act on the outcome (a code that changed, a lock that took)
// read it back from there.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kovrad::manager {

// The five digits of a report that begins "Codigo: ddddd."; nothing for a
// link error's text or anything else.
inline std::optional<std::string> ReportedResult(std::string_view report) {
  constexpr std::string_view kLead = "Codigo: ";
  constexpr size_t kDigits = 5;
  if (!report.starts_with(kLead) || report.size() < kLead.size() + kDigits + 1) return {};
  const std::string_view code = report.substr(kLead.size(), kDigits);
  if (code.find_first_not_of("0123456789") != std::string_view::npos) return {};
  if (report[kLead.size() + kDigits] != '.') return {};
  return std::string(code);
}

inline bool ReportSays(std::string_view report, std::string_view code) {
  return ReportedResult(report) == code;
}

}  // namespace kovrad::manager
