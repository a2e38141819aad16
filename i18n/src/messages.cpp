#include "i18n/messages.h"

#include <clocale>
#include <filesystem>

namespace kovrad::i18n {

void UseMessages(const char* domain) {
  std::setlocale(LC_MESSAGES, "");
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path catalogues = program.parent_path().parent_path() / "share/locale";
    bindtextdomain(domain, catalogues.c_str());
  }
  // Whatever the locale's character set, the programs print UTF-8.
  bind_textdomain_codeset(domain, "UTF-8");
  textdomain(domain);
}

std::string Fill(std::string_view message, std::initializer_list<std::string_view> values) {
  std::string text;
  for (size_t at = 0; at < message.size(); ++at) {
    const size_t index = at + 2 < message.size() && message[at] == '{' && message[at + 2] == '}'
                             ? static_cast<size_t>(message[at + 1] - '1')
                             : values.size();
    if (index < values.size()) {
      text += values.begin()[index];
      at += 2;
    } else {
      text += message[at];
    }
  }
  return text;
}

}  // namespace kovrad::i18n
