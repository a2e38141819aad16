#include "log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace kovrad::hub {

void Log(Level level, std::string_view text) {
  static std::mutex mutex;
  std::string line = "<" + std::to_string(static_cast<int>(level)) + ">";
  // One entry is one line: a line break inside the text would start a
  // record of its own, without a priority.
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  std::lock_guard lock(mutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace kovrad::hub
