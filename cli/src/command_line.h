// satcli's command line: the options that hold for every call, the function
// and its arguments by name, documents read from their files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog.h"
#include "client/session_store.h"

namespace kovrad::cli {

struct Invocation {
  enum class Action { kCall, kHelp, kVersion };
  Action action = Action::kCall;
  // The function to call; for kHelp, the one to describe (null: all of them).
  const Function* function = nullptr;
  Arguments arguments;
  std::optional<std::string> library;  // --biblioteca
  std::optional<int32_t> session;      // --sessao; drawn when absent
  std::optional<int32_t> port;         // --porta
  bool json = false;
  std::string save_to;  // --salvar
  std::string archive;  // --arquivo: where coupons are kept (default: DefaultArchivePath)
};

// The session numbers a request can carry: six digits.
using client::kMaxSession;
// The longest document read from a file: what a sale may hold.
inline constexpr size_t kDocumentMax = 2097151;

// Reads the arguments after the program name; false with `problem` set when
// they are not a valid call.
bool ParseCommandLine(const std::vector<std::string>& args, Invocation* invocation,
                      std::string* problem);

// A decimal number within [low, high], nothing else in the text.
bool ParseNumber(std::string_view text, int64_t low, int64_t high, int64_t* number);

// A text typed on the command line, as the library takes it: valid UTF-8 is
// converted to Windows-1252 (as the manager stages what the operator types);
// other bytes are taken as they are. False when a character has no place in
// Windows-1252.
bool StageText(std::string_view typed, std::string* staged);

// The whole contents of `path` ("-": standard input). False with `problem`
// set when it cannot be read, holds more than kDocumentMax bytes, or holds a
// zero byte, which would end the document early.
bool ReadDocument(const std::string& path, std::string* contents, std::string* problem);

// Where the command word stands: the index of the first argument that is
// neither an option that holds for every call nor that option's value.
size_t CommandIndex(const std::vector<std::string>& args);

// The usage lines: all functions, or one function's arguments.
std::string UsageText();
std::string FunctionHelp(const Function& function);

}  // namespace kovrad::cli
