// Every export of the device library as satcli offers it: its arguments by
// name with their help, the layout of its reply, which result codes mean
// success, and the call itself through the manager's run-time binding.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "binding.h"

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

enum class Kind {
  kInteger,   // a signed 32-bit number
  kText,      // typed on the command line
  kDocument,  // the contents of a file ("-": standard input)
};

struct Parameter {
  std::string_view name;  // the option, without its "--"
  Kind kind;
  std::string_view help;
};

// The values of one call, in the order of the function's parameters.
class Arguments {
 public:
  explicit Arguments(size_t count = 0) : values_(count) {}
  void SetText(size_t index, std::string text) { values_.at(index).text = std::move(text); }
  void SetNumber(size_t index, int32_t number) { values_.at(index).number = number; }
  const char* Text(size_t index) const { return values_.at(index).text.c_str(); }
  const std::string& TextString(size_t index) const { return values_.at(index).text; }
  int32_t Number(size_t index) const { return values_.at(index).number; }

 private:
  struct Value {
    std::string text;
    int32_t number = 0;
  };
  std::vector<Value> values_;
};

// How the fields of a reply are named.
enum class Layout {
  kNone,        // not a reply line: a vendor function's result
  kCommon,      // numeroSessao|EEEEE|mensagem|cod|mensagemSEFAZ
  kActivation,  // the common fields, then the certificate request
  kStatus,      // the common fields, then the 23 status fields
  kSale,        // numeroSessao|EEEEE|CCCC|mensagem|cod|mensagemSEFAZ|coupon fields
  kEndToEnd,    // the common fields, then the test coupon's fields
  kLog,         // the common fields, then the log in Base64
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

using Call = Outcome (*)(manager::Library&, int32_t session, const Arguments&);

struct Function {
  std::string_view name;
  std::string_view summary;
  std::vector<Parameter> parameters;
  Layout layout = Layout::kNone;
  // SAT functions: the result codes that mean success, and the time limit.
  std::vector<std::string_view> success;
  int time_limit_ms = 0;
  // The reply is the stored reply of another session: every code outside
  // the function's own refusals (the "11" family) is a found session.
  bool passes_through = false;
  bool exchange = false;  // it talks to the device: the link error record follows
  bool document = false;  // its reply leaves a document for Base64ToAscii
  Call call = nullptr;

  bool IsSatFunction() const { return layout != Layout::kNone; }
};

const std::vector<Function>& Functions();

// The function of that name, upper and lower case alike; null when none.
const Function* FindFunction(std::string_view name);

// The SAT function whose replies carry result code `code` (the first two
// digits name it: 06 is the sale); null when none does.
const Function* FunctionOfResult(std::string_view code);

// The first sentence of a function's summary, for the list of functions.
std::string_view Brief(const Function& function);

// The name a SAT function's request carries: its own, except for
// TrocarCodigoDeAtivacao ("TrocarCodigoDeAtivacaoSAT").
std::string WireName(const Function& function);

struct ResultCode {
  std::string_view code;
  std::string_view meaning;  // as the SAT-CF-e standard words it
};
// The result codes the SAT-CF-e standard gives for a SAT function's reply
// (none for the library's own functions).
std::span<const ResultCode> ResultCodes(const Function& function);

// Whether `code` (a reply's second field) is a success of `function`.
bool Succeeded(const Function& function, std::string_view code);

// The names of a reply's fields under `layout`, in order.
std::vector<std::string_view> FieldNames(Layout layout);

}  // namespace kovrad::cli
