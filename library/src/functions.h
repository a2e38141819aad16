// Shared steps of the SAT functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kovrad {

// Fields 2 onward of a reply line, read the way the result message reads
// them: each runs to the next "|" (or the end), and an empty field ends the
// reading. Fields not read are empty.
struct ReplyFields {
  std::string_view field[8];
};
ReplyFields LeCampos(const char* reply, int last_field);

// "Codigo: <code>.\n<text>" into COMM_ERROR's message, the code cut to 27
// characters and the whole to 799.
void ComporMensagem(std::string_view code, std::string_view text);

// Position just past the n-th "|" of `text`, or null.
const char* AposSeparador(const char* text, int n);

// A caller's text, or the empty one for a null pointer: a C caller may pass
// null for a text it does not have.
inline const char* Texto(const char* text) {
  return text != nullptr ? text : "";
}

// A payload text of exactly the needed size, released with std::free; null
// when it cannot be made.
char* FormataCarga(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kovrad
