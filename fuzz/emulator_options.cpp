// satemu's command line, any arguments an operator may type: parsed into
// options in their ranges, help, or a refusal that says why.
#include <string>
#include <string_view>
#include <vector>

#include "options.h"
#include "require.h"

using kovrad::fuzz::Require;

// The arguments, separated by zero bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty()) {
    const size_t end = rest.find('\0');
    args.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  satemu::Options options;
  std::string message;
  switch (satemu::ParseOptions(args, &options, &message)) {
    case satemu::Parsed::kError:
      Require(!message.empty(), "a reason for the refusal");
      break;
    case satemu::Parsed::kRun:
      Require(!options.dir.empty(), "a directory to publish in");
      Require(options.port >= 0 && options.port <= 999, "a port from 0 to 999");
      Require(options.lock >= -1 && options.lock <= 4, "a lock state from 0 to 4");
      break;
    case satemu::Parsed::kHelp:
    case satemu::Parsed::kVersion:
      break;
  }
  return 0;
}
