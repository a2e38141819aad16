// Session numbers that do not repeat across runs. The standard forbids a
// point-of-sale program to reuse any of its last 100 session numbers, and the
// device looks sessions up by number; the library's generator starts the
// same sequence in every process. satcli therefore keeps the numbers it used
// last in a small file of its own and draws around them.
#pragma once

#include <cstdint>
#include <string>

namespace kovrad::client {

inline constexpr size_t kRecentSessions = 100;
// The largest session number: six digits on the wire.
inline constexpr int32_t kMaxSession = 999999;

class SessionStore {
 public:
  // The file under the user's state directory: $XDG_STATE_HOME/kovrad, or
  // ~/.local/state/kovrad. Empty when neither variable tells where that is.
  static std::string DefaultPath();

  explicit SessionStore(std::string path) : path_(std::move(path)) {}

  // Draws a number from 1 to 999999 that is none of the recent ones and
  // records it. When the file cannot be used, a number is still drawn and
  // false comes back with `problem` set.
  bool Draw(int32_t* session, std::string* problem);
  // Records a number the caller chose.
  bool Record(int32_t session, std::string* problem);

 private:
  bool Update(int32_t* session, bool draw, std::string* problem);

  std::string path_;
};

}  // namespace kovrad::client
