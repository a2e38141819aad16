// Shared by the link tests: reading the diagnostic log back and putting the
// module's link state back to how a fresh load leaves it.
#pragma once

#include <string>
#include <vector>

namespace kovrad::test {

struct LogEntry {
  int day, month, year, hour, minute, second, millisecond;
  std::string text;
};

// Splits a log file's content into entries. An entry starts at a line break
// followed by a well-formed time stamp; everything up to the next such start
// is its text. Bytes before the first entry are ignored.
std::vector<LogEntry> ParseLog(const std::string& content);
// The texts of the entries in the log file at `path` (none when it is absent).
std::vector<std::string> LogTexts(const std::string& path);

// Log off, port closed, no port selected.
void ResetLink();

}  // namespace kovrad::test
