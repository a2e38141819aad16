#include "client/reply_line.h"

#include <charconv>
#include <cstdio>

namespace kovrad::client {

std::string_view ReplyField(std::string_view reply, int n) {
  for (int i = 1; i < n; ++i) {
    const size_t bar = reply.find('|');
    if (bar == std::string_view::npos) return {};
    reply.remove_prefix(bar + 1);
  }
  return reply.substr(0, reply.find('|'));
}

std::vector<std::string> SplitFields(std::string_view reply) {
  std::vector<std::string> fields;
  if (reply.find('|') == std::string_view::npos) return fields;
  for (;;) {
    const size_t bar = reply.find('|');
    fields.emplace_back(reply.substr(0, bar));
    if (bar == std::string_view::npos) return fields;
    reply.remove_prefix(bar + 1);
  }
}

bool IsSession(std::string_view field, int32_t session) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  return !field.empty() && error == std::errc() && end == field.data() + field.size() &&
         value == session;
}

bool SameSession(std::string_view reply, int32_t session) {
  return reply.find('|') != std::string_view::npos && IsSession(ReplyField(reply, 1), session);
}

std::string FailureLine(int32_t session, std::string_view message) {
  char head[24];
  std::snprintf(head, sizeof head, "%06d|9999|", session);
  return head + std::string(message);
}

}  // namespace kovrad::client
