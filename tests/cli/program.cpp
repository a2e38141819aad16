#include "program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "fake_device.h"

extern char** environ;

namespace kovrad::test {
namespace {

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

Finished RunProgram(const std::vector<std::string>& argv, const std::string& input,
                    int timeout_ms) {
  TempDir scratch;
  const std::string in = scratch / "in", out = scratch / "out", err = scratch / "err";
  WriteFile(in, input);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> args = argv;
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  // satcli keeps every coupon under XDG_DATA_HOME: a test's coupons go to a
  // folder of the run's own, not to the archive of whoever runs the suite.
  std::vector<std::string> variables;
  for (char** v = environ; *v != nullptr; ++v) variables.emplace_back(*v);
  if (std::getenv("XDG_DATA_HOME") == nullptr)
    variables.push_back("XDG_DATA_HOME=" + (scratch / "data"));
  std::vector<char*> environment;
  for (std::string& v : variables) environment.push_back(v.data());
  environment.push_back(nullptr);
  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, args[0].c_str(), &actions, nullptr, pointers.data(), environment.data());
  posix_spawn_file_actions_destroy(&actions);

  Finished finished;
  if (spawned != 0) return finished;
  const int64_t deadline = NowMs() + timeout_ms;
  int wait_status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(pid, &wait_status, WNOHANG)) == 0 && NowMs() < deadline) {
    poll(nullptr, 0, 5);
  }
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &wait_status, 0);
  } else if (ended == pid && WIFEXITED(wait_status)) {
    finished.status = WEXITSTATUS(wait_status);
  }
  finished.out = ReadFile(out);
  finished.err = ReadFile(err);
  return finished;
}

}  // namespace kovrad::test
