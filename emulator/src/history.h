// What the device remembers of past requests: the reply of each recent
// session (for ConsultarNumeroSessao) and its own event log (for
// ExtrairLogs). Kept in memory within fixed bounds; the journal keeps it on
// disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace satemu {

inline constexpr size_t kSessionsKept = 100;
// Sale replies can be large: past this many bytes in all, the oldest go first.
inline constexpr size_t kSessionBytesKept = 16 * 1024 * 1024;
inline constexpr size_t kEventsKept = 500;

// One record a request adds: a session's reply or an event log line.
struct Entry {
  enum class Kind { kSession, kEvent };
  Kind kind = Kind::kEvent;
  int32_t session = 0;
  std::string text;
};

struct History {
  // Oldest first, one per session number.
  std::deque<std::pair<int32_t, std::string>> sessions;
  std::deque<std::string> events;

  void RememberSession(int32_t session, std::string reply);
  const std::string* FindSession(int32_t session) const;
  void AddEvent(std::string record);
  void Add(Entry entry);
};

}  // namespace satemu
