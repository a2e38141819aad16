// The standard SAT functions of the device library, each written once: its
// export name and the name its request carries on the wire, its time limit,
// its arguments after the session number, the fields of its reply, the result
// codes that mean success, whether it is fiscal, and the call itself through
// the run-time binding.
//
// The table is built once, on first use, and lives until the process ends:
// pointers and views into it stay valid and may be read from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "client/binding.h"

namespace kovrad::client {

enum class Kind {
  kInteger,   // a signed 32-bit number
  kText,      // a short text: a code, a CNPJ, a key
  kDocument,  // a document (XML, PEM): may be large
};

struct Argument {
  std::string_view name;  // as kovrad.h names the parameter
  Kind kind;
};

// The values of one call, in the order of the function's arguments.
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

using SatCall = Reply (*)(Library&, int32_t session, const Arguments&);

struct Function {
  std::string_view export_name;  // "TrocarCodigoDeAtivacao"
  std::string_view wire_name;    // "TrocarCodigoDeAtivacaoSAT"
  int time_limit_ms = 0;         // the library waits this long for the reply
  std::vector<Argument> arguments;
  Layout layout = Layout::kCommon;
  std::vector<std::string_view> success;  // the result codes that mean success
  // A sale or cancellation: never to be lost nor sent twice.
  bool fiscal = false;
  // The reply is the stored reply of another session: every code outside
  // the function's own refusals (the "11" family) is a found session.
  bool passes_through = false;
  bool document = false;  // its reply leaves a document for Base64ToAscii
  SatCall call = nullptr;
};

const std::vector<Function>& Functions();

// The function of that export name, upper and lower case alike; null when none.
const Function* FindFunction(std::string_view export_name);

// Whether export `export_name` is a sale or a cancellation.
bool IsFiscal(std::string_view export_name);

// The function whose replies carry result code `code` (the first two digits
// name it: 06 is the sale); null when none does.
const Function* FunctionOfResult(std::string_view code);

struct ResultCode {
  std::string_view code;     // "06000"; "(any)" for the lookup's found session
  std::string_view meaning;  // as the SAT-CF-e standard words it
};
// The result codes the SAT-CF-e standard gives for the function's reply,
// success first. Every function's family ends in x098 (busy: try again
// later) and x099 (unknown error on the device); NextStepAfter below says
// what each code asks of the caller.
std::span<const ResultCode> ResultCodes(const Function& function);

// Whether `code` (a reply's second field) is a success of `function`.
bool Succeeded(const Function& function, std::string_view code);

// What a reply's result code tells the caller to do next.
enum class NextStep {
  kDone,      // a success code: the function did what was asked
  kTryLater,  // the device was busy or failed inside (x098, x099): nothing
              // was done; the same call, with a new session number, may work
  kCorrect,   // a refusal: the code, the document or the device's state
              // must change first; sent again as it is, it is refused again
  kRetry,     // no reply of the device ("9999", or no reply line) to any
              // other function: calling again is safe (it may answer that
              // the first call already did it)
  kRecover,   // no reply of the device to a sale or cancellation: it may
              // have been made; settle it with RecoverSale (client/recovery.h)
              // and never send it again before that
};

// The step after `function` answered with `code` (ResultCodeOf the reply
// line; empty for a text with no fields).
NextStep NextStepAfter(const Function& function, std::string_view code);

// The names of a reply's fields under `layout`, in order.
std::vector<std::string_view> FieldNames(Layout layout);

}  // namespace kovrad::client
