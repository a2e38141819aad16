// Session numbers that do not repeat across runs. The standard forbids a
// point-of-sale program to reuse any of its last 100 session numbers, and the
// device looks sessions up by number; the library's generator starts the
// same sequence in every process. A program that runs as short processes
// (satcli, a till started per sale) therefore keeps the numbers it used last
// in a small file and draws around them.
//
// The file holds one number a line, the newest last; it is created with mode
// 0600 in a directory made 0700, replaced whole on each change (a crash leaves
// the old list or the new one) and locked (flock on "<file>.lock") while a
// number is drawn, so that programs and threads sharing it take turns. A
// SessionStore object keeps only the path: any number of them, in any
// process, may use the same file. Use one file per device, or one for all a
// machine's programs that call the same device.
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
  // Records a number the caller chose (one GeraNumeroSessao gave, say), with
  // the same failure rule as Draw.
  bool Record(int32_t session, std::string* problem);

 private:
  bool Update(int32_t* session, bool draw, std::string* problem);

  std::string path_;
};

}  // namespace kovrad::client
