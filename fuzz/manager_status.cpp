// The manager's status reply reader on any reply bytes, as the status query
// hands them over: decoded to UTF-8, read into fields, shown on the panel.
// Whatever came, every field and panel text is valid UTF-8 within its width.
#include <string_view>

#include "client/text.h"
#include "core/status.h"
#include "require.h"

using kovrad::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kovrad::manager;
  const std::string utf8 =
      kovrad::client::DecodeReply(std::string_view(reinterpret_cast<const char*>(data), size));
  Require(kovrad::client::IsValidUtf8(utf8), "a reply decoded to UTF-8");
  const StatusReply reply = ReadStatusReply(utf8);
  for (const std::string& field : reply.fields) {
    Require(kovrad::client::IsValidUtf8(field), "fields of whole characters");
    Require(kovrad::client::CharacterCount(field) <= 299, "fields within their reading width");
  }
  for (const PanelRow& row : kPanelRows) {
    if (const auto value = PanelValue(row, reply)) {
      Require(kovrad::client::IsValidUtf8(*value), "panel texts of whole characters");
    }
  }
  return 0;
}
