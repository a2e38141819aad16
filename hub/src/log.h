// The hub's log: one line per event on standard error, each with the
// priority prefix that journald reads ("<3>" error ... "<7>" debug), so that
// under systemd every line lands in the journal with its level.
#pragma once

#include <string_view>

namespace kovrad::hub {

enum class Level { kError = 3, kWarning = 4, kNotice = 5, kInfo = 6, kDebug = 7 };

void Log(Level level, std::string_view text);

}  // namespace kovrad::hub
