#include "core/device_log.h"

#include <algorithm>

#include "client/binding.h"
#include "client/text.h"
#include "core/replies.h"
#include "core/run_state.h"

namespace kovrad::manager {
namespace {

constexpr size_t kStampLength = 14;

// Cuts valid UTF-8 text after `limit` characters.
void Cut(std::string& text, size_t limit) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (characters++ == limit) {
      text.resize(i);
      return;
    }
  }
}

}  // namespace

LogRecord SplitLogRecord(std::string_view line) {
  static constexpr char kEnds[] = {'|', '|', '|', ':'};
  static constexpr size_t kLimits[] = {kLogStampLimit, kLogFieldLimit, kLogFieldLimit,
                                       kLogFieldLimit, kLogTextLimit};
  LogRecord record;
  size_t n = 0;
  for (; n < std::size(kEnds); ++n) {
    const size_t end = line.find(kEnds[n]);
    record[n] = line.substr(0, end);
    if (end == std::string_view::npos) {
      line = {};
      break;
    }
    line.remove_prefix(end + 1);
  }
  if (n == std::size(kEnds)) record[n] = line;
  for (size_t i = 0; i < record.size(); ++i) Cut(record[i], kLimits[i]);
  return record;
}

std::string LogDateText(std::string_view stamp) {
  const bool reorder = stamp.size() >= kStampLength && stamp[0] >= '0' && stamp[0] <= '9' &&
                       std::all_of(stamp.begin(), stamp.begin() + kStampLength,
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!reorder) return std::string(stamp);
  static constexpr size_t kOrder[] = {6, 7, 4, 5, 0, 1, 2, 3, 8, 9, 10, 11, 12, 13};
  static constexpr const char* kAfter[] = {"",  "/", "",  "/", "",  "", "",
                                           " ", "",  ":", "",  ":", "", ""};
  std::string text;
  for (size_t i = 0; i < std::size(kOrder); ++i) {
    text += stamp[kOrder[i]];
    text += kAfter[i];
  }
  return text;
}

std::string LogLine(int number, const LogRecord& record) {
  std::string line = std::to_string(number) + " " + LogDateText(record[0]) + " " + record[3] + " " +
                     record[2] + " " + record[4];
  Cut(line, kLogLineLimit);
  return line;
}

std::vector<std::string> FormatLog(std::string_view text) {
  std::vector<std::string> lines;
  int number = 0;
  size_t feed = text.find('\n');
  while (feed != std::string_view::npos) {
    const size_t start = feed + 1;
    feed = text.find('\n', start);
    std::string_view raw = text.substr(start, feed == std::string_view::npos ? feed : feed - start);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (raw.empty()) continue;
    lines.push_back(LogLine(++number, SplitLogRecord(client::DecodeReply(raw))));
  }
  return lines;
}

LogExtraction ExtractLog(client::Library& library, const std::string& code) {
  LogExtraction extraction;
  const client::Reply reply = KOVRAD_SAT(library, ExtrairLogs, kSessionNumber, code.c_str());
  if (!reply.called) {
    extraction.message = reply.problem;
  } else if (reply.text == kPortFailureLine) {
    extraction.message = kMsgPortNotOpened;
  } else if (reply.text.find("15000|Transfer") == std::string::npos) {
    extraction.message = client::DecodeReply(reply.text);
  } else {
    const client::Reply log = KOVRAD_SAT(library, Base64ToAscii);
    if (log.called) {
      extraction.lines = FormatLog(log.text);
    } else {
      extraction.message = log.problem;
    }
  }
  return extraction;
}

}  // namespace kovrad::manager
