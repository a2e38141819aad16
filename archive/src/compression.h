// zlib streams against a preset dictionary: the coupons of one device share
// their certificate, their issuer and most of their markup, so each is
// stored as what it adds to the first coupon of its kind.
#pragma once

#include <string>
#include <string_view>

namespace kovrad::archive {

// The zlib stream (RFC 1950) of `data`; empty when zlib fails.
std::string Deflate(std::string_view data, std::string_view dictionary);

// `stream` expanded into `out`, which must come to exactly `size` bytes.
bool Inflate(std::string_view stream, std::string_view dictionary, size_t size, std::string* out);

}  // namespace kovrad::archive
