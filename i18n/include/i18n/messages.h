// The messages people read, in the language their locale asks for: English
// as written in the code, Brazilian Portuguese from the program's catalogue.
// Only the messages' category follows the locale: numbers, and the texts sent
// to a device or a till, keep the C locale's form.
#pragma once

#include <libintl.h>

#include <initializer_list>
#include <string>
#include <string_view>

// A message marked for translation, translated where it is used.
#define _(text) ::gettext(text)
// A message marked for translation where it is defined (a table, a
// constant), translated with _() where it is used.
#define N_(text) text

namespace kovrad::i18n {

// Takes the catalogue of `domain` for the messages, from share/locale beside
// the program's folder (the installed layout, and the build tree's).
void UseMessages(const char* domain);

// `message` with {1}, {2}... replaced by `values`: a translation puts them
// where its language needs them.
std::string Fill(std::string_view message, std::initializer_list<std::string_view> values);

}  // namespace kovrad::i18n
