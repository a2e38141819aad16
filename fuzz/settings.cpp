// The settings reader on any "sat.ini" text, with a name field of exactly
// the library's size.
#include <cstring>
#include <memory>
#include <string_view>

#include "library_checks.h"
#include "log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kovrad::fuzz::Require;
  // The library reads at most the first 1024 bytes of the file.
  if (size > 1024) return -1;
  auto name = std::make_unique<char[]>(kovrad::kLogNameField);
  const std::string_view settings(reinterpret_cast<const char*>(data), size);
  if (!kovrad::LeConfiguracaoLog(settings, name.get(), kovrad::kLogNameField)) return 0;
  const size_t length = strnlen(name.get(), kovrad::kLogNameField);
  Require(length > 0 && length < kovrad::kLogNameField, "a name that fits its field");
  for (size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    Require(c >= 0x20 && c < 0x80, "printable ASCII only");
  }
  return 0;
}
