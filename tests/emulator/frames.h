// Request frames as the host sends them, for tests that play the host.
#pragma once

#include <string_view>

#include "link.h"

namespace satemu {

inline Bytes RequestBytes(std::string_view text, uint8_t sequence = 7) {
  Bytes frame = {kSoh, sequence, 0, 0};
  for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(text.size() >> (8 * i)));
  frame.insert(frame.end(), text.begin(), text.end());
  frame.push_back(Checksum(frame.data() + 1, frame.size() - 1));
  return frame;
}

}  // namespace satemu
