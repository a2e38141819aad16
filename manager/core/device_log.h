// The device's own event log: fetched with ExtrairLogs, each record turned into
// one numbered, readable line.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovrad::client {
class Library;
}  // namespace kovrad::client

namespace kovrad::manager {

// A record is one line "field1|field2|field3|field4:field5": the time stamp
// (YYYYMMDDhhmmss), a field never shown, two more, and the rest of the line.
using LogRecord = std::array<std::string, 5>;

// Characters a field and a display line may hold; longer ones are cut.
inline constexpr size_t kLogStampLimit = 2 * 1024 * 1024;
inline constexpr size_t kLogFieldLimit = 1999;
inline constexpr size_t kLogTextLimit = 2999;
inline constexpr size_t kLogLineLimit = 999;

// Splits one line (UTF-8, without its line feed). A field whose end is missing
// takes the rest of the line and the fields after it stay empty.
LogRecord SplitLogRecord(std::string_view line);

// "DD/MM/YYYY hh:mm:ss" from a time stamp that starts with a digit; any other
// field (and one too short for a time stamp) is shown as it is.
std::string LogDateText(std::string_view stamp);

// "<number> <date> <field 4> <field 3> <field 5>", cut to its limit.
std::string LogLine(int number, const LogRecord& record);

// The display lines of a decoded log text, numbered from 1. The text before
// the first line feed is a heading and is never shown; empty lines are
// skipped. Each line is read as UTF-8 when it is valid, otherwise as
// Windows-1252.
std::vector<std::string> FormatLog(std::string_view text);

// One extraction: the log's display lines, or the message to show instead.
struct LogExtraction {
  std::vector<std::string> lines;
  std::optional<std::string> message;
};

// Calls ExtrairLogs with `code` (Windows-1252) and formats the log it carries.
LogExtraction ExtractLog(client::Library& library, const std::string& code);

}  // namespace kovrad::manager
