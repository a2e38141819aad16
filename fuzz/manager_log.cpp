// The manager's log record formatter on any decoded log text: every display
// line is whole UTF-8 (whatever the encoding of its record) within the line
// limit.
#include <string_view>

#include "client/text.h"
#include "core/device_log.h"
#include "require.h"

using kovrad::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kovrad::manager;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const std::string& line : FormatLog(text)) {
    Require(kovrad::client::IsValidUtf8(line), "lines of whole characters");
    Require(kovrad::client::CharacterCount(line) <= kLogLineLimit, "lines within their limit");
  }
  return 0;
}
