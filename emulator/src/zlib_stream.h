// The zlib streams (RFC 1950) of the sale pair: the host compresses the sale
// document, the device compresses the coupon part of its reply.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace satemu {

enum class Expansion { kDone, kTooLarge, kDamaged };

// Expands one whole zlib stream into `text`, stopping as soon as it would
// pass `max` bytes (kTooLarge): a small stream cannot make the device hold
// more than that. kDamaged when it is not one complete stream.
Expansion Expand(std::string_view stream, size_t max, std::string* text);

// The zlib stream of `text`; empty when zlib fails.
std::string Compress(std::string_view text);

}  // namespace satemu
