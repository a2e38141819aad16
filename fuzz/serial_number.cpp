// The serial number out of a status reply: any text, in a buffer of exactly
// its size.
#include <cstring>
#include <vector>

#include "discovery.h"
#include "library_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> reply(data, data + size);
  reply.push_back('\0');
  const char* serial = kovrad::ExtraiNumeroSerie(reply.data());
  if (serial == nullptr) return 0;
  kovrad::fuzz::Require(serial >= reply.data() && serial < reply.data() + reply.size(),
                        "the serial number lies inside the reply");
  kovrad::fuzz::Require(std::strchr(serial, '|') == nullptr, "one field");
  return 0;
}
