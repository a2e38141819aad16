// Runs the satemu binary as a child process for a test: starts it, waits
// (bounded) for its ready line, and stops it with SIGTERM.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kovrad::test {

class Satemu {
 public:
  // Starts `satemu --dir <dir> <args...>` and waits for it to be ready; a
  // test failure (and an exception) when it does not start.
  explicit Satemu(const std::string& dir, std::vector<std::string> args = {});
  ~Satemu();
  Satemu(const Satemu&) = delete;
  Satemu& operator=(const Satemu&) = delete;

  // SIGTERM (or another signal) and a bounded wait; the exit status, or -1
  // when it had to be killed.
  int Stop(int signal_number = 15);
  // False once it has ended (by itself too).
  bool Running();

  const std::string& dev_dir() const { return dev_dir_; }
  const std::string& sys_dir() const { return sys_dir_; }
  // What it wrote on standard error so far.
  std::string Errors() const;

  // Runs satemu with these arguments to the end (for start-up refusals):
  // the exit status, with standard error in `errors`.
  static int RunToEnd(const std::vector<std::string>& args, std::string* errors);

 private:
  pid_t pid_ = -1;
  int exit_status_ = -1;  // once it has ended
  std::string errors_file_;
  std::string dev_dir_, sys_dir_;
};

}  // namespace kovrad::test
