// Reading the device's reply lines: their fields, their result code and the
// coupon they carry, and their bytes as text fit for JSON.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kovrad::hub {

std::vector<std::string_view> SplitFields(std::string_view reply);

// Field 2, the result code ("06000"); empty when the line has none.
std::string_view ResultCode(std::string_view reply);

// A library text as UTF-8: kept when it is valid UTF-8, otherwise read as
// Windows-1252 (the library's own messages).
std::string AsUtf8(std::string_view bytes);

// Standard Base64 to bytes, characters outside the alphabet skipped; the
// coupon is cut after its closing element.
std::string DecodeCoupon(std::string_view base64);

}  // namespace kovrad::hub
