// A device that answers at once, served by a child process on a
// pseudo-terminal published as <dir>/dev/ttyACM0, so that the process under
// test (or under measurement) runs the library alone: no device thread, no
// record of requests growing in its memory.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace kovrad::test {

class PtyResponder {
 public:
  // The bytes to write back for one request text (a reply frame, or
  // anything else); called in the child.
  using Answer = std::function<std::string(std::string_view request)>;

  // Throws std::runtime_error when the terminal or the child cannot be made.
  PtyResponder(const std::string& dir, Answer answer);
  ~PtyResponder();
  PtyResponder(const PtyResponder&) = delete;
  PtyResponder& operator=(const PtyResponder&) = delete;

  const std::string& dev_dir() const { return dev_dir_; }

 private:
  std::string dev_dir_;
  pid_t child_ = -1;
  int stop_ = -1;  // closing it ends the child
};

// The reply frame carrying `text`.
std::string FrameOf(std::string_view text);

}  // namespace kovrad::test
