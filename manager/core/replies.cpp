#include "core/replies.h"

namespace kovrad::manager {

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> words) {
  for (std::string_view w : words) {
    if (text.find(w) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace kovrad::manager
