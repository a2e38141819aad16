// Every export of the device library as satcli offers it: its options by
// name with their help and the call itself. What a standard SAT function is
// (its reply, success codes, time limit) comes from the client's table.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "client/binding.h"
#include "client/functions.h"

namespace kovrad::cli {

// satcli's exit status.
enum class Status : int {
  kSuccess = 0,       // the device answered with its success code (a lost sale: it was made)
  kRefused = 1,       // it answered with another code, or the library refused
  kLinkError = 2,     // no answer: the port, the device or the library could not be reached
  kUsage = 3,         // the command line was wrong; nothing was sent
  kNotMade = 4,       // a sale's reply was lost and the device made nothing: sending again is safe
  kUnknown = 5,       // a sale's reply was lost and what the device did is unknown: do not resend
  kOtherSession = 6,  // the reply carries another session's number
  kNotSaved = 7,      // the call succeeded but --salvar could not write its document
};

using client::Arguments;
using client::Kind;
using client::Layout;
using client::ResultCode;

struct Parameter {
  std::string_view name;  // the option, without its "--"
  Kind kind;
  std::string_view help;
};

// What one call gave.
struct Outcome {
  bool called = false;     // false: the library or the export could not be found
  std::string problem;     // why not
  std::string text;        // the reply line or the result, raw bytes
  bool null = false;       // the export returned no text at all
  bool numeric = false;    // the export returned a number, written in `text`
  bool has_result = true;  // false: the call's output is the link error record alone
  // Vendor functions judge their own result; SAT functions are judged by
  // their reply and the link error record.
  std::optional<Status> status;
};

using Call = std::function<Outcome(client::Library&, int32_t session, const Arguments&)>;

struct Function {
  std::string_view name;
  std::string_view summary;
  std::vector<Parameter> parameters;
  // A standard SAT function: its entry in the client's table.
  const client::Function* sat = nullptr;
  bool exchange = false;  // it talks to the device: the link error record follows
  bool document = false;  // its reply leaves a document for Base64ToAscii
  Call call = nullptr;

  bool IsSatFunction() const { return sat != nullptr; }
  bool PassesThrough() const { return sat != nullptr && sat->passes_through; }
  // The library's time limit for the reply; none for the library's own functions.
  int TimeLimitMs() const { return sat != nullptr ? sat->time_limit_ms : 0; }
};

const std::vector<Function>& Functions();

// The function of that name, upper and lower case alike; null when none.
const Function* FindFunction(std::string_view name);

// The first sentence of a summary (in either language), for the list of
// functions; Brief is that of a function's own.
std::string_view FirstSentence(std::string_view summary);
std::string_view Brief(const Function& function);

}  // namespace kovrad::cli
