// Windows-1252, the 8-bit code page of the texts the device library takes and
// gives back, and the decoding of replies that may arrive in either encoding.
#pragma once

#include <string>
#include <string_view>

namespace kovrad::client {

// UTF-8 text to Windows-1252 bytes; what the code page cannot hold (and any
// byte that is not valid UTF-8) becomes "?".
std::string ToCp1252(std::string_view utf8);

// The characters of UTF-8 text that Windows-1252 cannot hold, each once, in
// the order they first appear, separated by blanks; empty when all fit.
std::string Unencodable(std::string_view utf8);

// Windows-1252 bytes to UTF-8.
std::string FromCp1252(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

// A text that came back from the library, as UTF-8: kept as it is when it is
// valid UTF-8, otherwise read as Windows-1252.
std::string DecodeReply(std::string_view bytes);

// Number of characters (code points) in valid UTF-8 text.
size_t CharacterCount(std::string_view utf8);

}  // namespace kovrad::client
