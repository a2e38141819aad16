#include "replies.h"

namespace kovrad::manager {

std::string_view ReplyField(std::string_view reply, int n) {
  for (int i = 1; i < n; ++i) {
    const size_t bar = reply.find('|');
    if (bar == std::string_view::npos) return {};
    reply.remove_prefix(bar + 1);
  }
  return reply.substr(0, reply.find('|'));
}

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> words) {
  for (std::string_view w : words) {
    if (text.find(w) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace kovrad::manager
