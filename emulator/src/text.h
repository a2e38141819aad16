// Small text helpers shared by the emulator's modules.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace satemu {

std::string Base64Encode(std::string_view data);

bool AllDigits(std::string_view text);
// An activation code: 8 to 32 characters, none a control character or "|".
bool ValidActivationCode(std::string_view code);
// 14 digits whose two check digits are right (and not all the same digit).
bool ValidCnpj(std::string_view cnpj);
// A decimal integer within [min, max], nothing else around it.
bool ParseInteger(std::string_view text, long long min, long long max, long long* value);

// Local time as the device writes it: AAAAMMDDhhmmss, and AAAAMMDD (that
// many years later).
std::string Timestamp(std::time_t when);
std::string DateStamp(std::time_t when, int years_later = 0);

// Splits at "|" into at most `max_fields` fields; the last one keeps the rest
// of the text, separators included.
std::vector<std::string_view> SplitFields(std::string_view text, size_t max_fields);

// One line of text for any bytes: backslash, line breaks and other control
// characters become escapes. Unescape is false on a malformed escape.
std::string Escape(std::string_view text);
bool Unescape(std::string_view text, std::string* out);

// Replaces what could break a "|"-separated record or a log line.
std::string Printable(std::string_view text, size_t max_length);

}  // namespace satemu
