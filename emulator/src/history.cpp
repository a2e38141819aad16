#include "history.h"

namespace satemu {

void History::RememberSession(int32_t session, std::string reply) {
  std::erase_if(sessions, [session](const auto& s) { return s.first == session; });
  sessions.emplace_back(session, std::move(reply));
  size_t bytes = 0;
  for (const auto& kept : sessions) bytes += kept.second.size();
  while (sessions.size() > kSessionsKept || (sessions.size() > 1 && bytes > kSessionBytesKept)) {
    bytes -= sessions.front().second.size();
    sessions.pop_front();
  }
}

const std::string* History::FindSession(int32_t session) const {
  for (const auto& [number, reply] : sessions) {
    if (number == session) return &reply;
  }
  return nullptr;
}

void History::AddEvent(std::string record) {
  events.push_back(std::move(record));
  while (events.size() > kEventsKept) events.pop_front();
}

void History::Add(Entry entry) {
  if (entry.kind == Entry::Kind::kSession) {
    RememberSession(entry.session, std::move(entry.text));
  } else {
    AddEvent(std::move(entry.text));
  }
}

}  // namespace satemu
