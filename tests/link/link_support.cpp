#include "link_support.h"

#include <cctype>
#include <cstring>

#include "fake_device.h"
#include "kovrad.h"
#include "module.h"

namespace kovrad::test {
namespace {

// "\nDD/DD/DDDD DD:DD:DD:" then the milliseconds left-aligned in three
// columns and a blank.
constexpr char kStampShape[] = "\n##/##/#### ##:##:##:";
constexpr size_t kStampPrefix = sizeof kStampShape - 1;
constexpr size_t kStampLength = kStampPrefix + 4;

int Number(const std::string& s, size_t at, size_t digits) {
  int value = 0;
  for (size_t i = 0; i < digits; ++i) value = value * 10 + (s[at + i] - '0');
  return value;
}

// Milliseconds at `at`: one to three digits, blanks after them up to three
// columns, then the blank that ends the stamp. -1 when malformed.
int Milliseconds(const std::string& s, size_t at) {
  size_t digits = 0;
  while (digits < 3 && std::isdigit(static_cast<unsigned char>(s[at + digits]))) ++digits;
  if (digits == 0) return -1;
  for (size_t i = digits; i < 4; ++i) {
    if (s[at + i] != ' ') return -1;
  }
  return Number(s, at, digits);
}

bool StampAt(const std::string& s, size_t at, LogEntry* entry) {
  if (at + kStampLength > s.size()) return false;
  for (size_t i = 0; i < kStampPrefix; ++i) {
    const char want = kStampShape[i];
    const char got = s[at + i];
    if (want == '#' ? !std::isdigit(static_cast<unsigned char>(got)) : got != want) return false;
  }
  const int ms = Milliseconds(s, at + kStampPrefix);
  if (ms < 0) return false;
  *entry = {Number(s, at + 1, 2),
            Number(s, at + 4, 2),
            Number(s, at + 7, 4),
            Number(s, at + 12, 2),
            Number(s, at + 15, 2),
            Number(s, at + 18, 2),
            ms,
            {}};
  return true;
}

}  // namespace

std::vector<LogEntry> ParseLog(const std::string& content) {
  std::vector<LogEntry> entries;
  size_t text_start = std::string::npos;
  for (size_t at = content.find('\n'); at != std::string::npos; at = content.find('\n', at + 1)) {
    LogEntry next;
    if (!StampAt(content, at, &next)) continue;
    if (!entries.empty()) entries.back().text = content.substr(text_start, at - text_start);
    entries.push_back(next);
    text_start = at + kStampLength;
    at = text_start - 1;
  }
  if (!entries.empty()) entries.back().text = content.substr(text_start);
  return entries;
}

std::vector<std::string> LogTexts(const std::string& path) {
  std::vector<std::string> texts;
  for (auto& entry : ParseLog(ReadFile(path))) texts.push_back(std::move(entry.text));
  return texts;
}

void ResetLink() {
  ArquivoLog("");
  CloseSerial();
  std::memset(State().port_name, 0, kPortNameField);
  State().port_refused = false;
}

}  // namespace kovrad::test
