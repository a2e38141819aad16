#include "satemu_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <stdexcept>

#include "fake_device.h"

extern char** environ;

namespace kovrad::test {
namespace {

// Generous: the sanitizer build starts slowly on a busy machine.
constexpr int kReadyMs = 30000;
constexpr int kExitMs = 15000;

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

pid_t Spawn(const std::vector<std::string>& args, int stdout_fd, const std::string& errors_file) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdout_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, stdout_fd, 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, errors_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<std::string> all = {SATEMU_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, SATEMU_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Waits (bounded) for the child to end; its exit status, or -1.
int WaitExit(pid_t pid, int timeout_ms) {
  const int64_t deadline = NowMs() + timeout_ms;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (r < 0 || NowMs() >= deadline) return -1;
    poll(nullptr, 0, 5);
  }
}

// One line from `fd`, within the bound; empty when none came.
std::string ReadLine(int fd, int timeout_ms) {
  const int64_t deadline = NowMs() + timeout_ms;
  std::string line;
  char c = 0;
  while (NowMs() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(deadline - NowMs())) <= 0) continue;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  return {};
}

std::string ValueOf(const std::string& line, const std::string& name) {
  const size_t at = line.find(name + "=");
  if (at == std::string::npos) return {};
  const size_t from = at + name.size() + 1;
  return line.substr(from, line.find(' ', from) - from);
}

}  // namespace

Satemu::Satemu(const std::string& dir, std::vector<std::string> args) {
  static int started = 0;
  errors_file_ =
      dir + "/satemu-" + std::to_string(getpid()) + "-" + std::to_string(++started) + ".err";
  args.insert(args.begin(), {"--dir", dir});
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
  pid_ = Spawn(args, out[1], errors_file_);
  close(out[1]);
  const std::string line = pid_ > 0 ? ReadLine(out[0], kReadyMs) : std::string();
  close(out[0]);
  dev_dir_ = ValueOf(line, "KOVRAD_DEV_DIR");
  sys_dir_ = ValueOf(line, "KOVRAD_SYSFS_DIR");
  if (dev_dir_.empty() || sys_dir_.empty()) {
    ADD_FAILURE() << "satemu did not start: '" << line << "'\n" << Errors();
    Stop();
    throw std::runtime_error("satemu did not start");
  }
}

Satemu::~Satemu() {
  Stop();
}

bool Satemu::Running() {
  const int status = pid_ > 0 ? WaitExit(pid_, 0) : -1;
  if (status >= 0) {
    exit_status_ = status;
    pid_ = -1;
  }
  return pid_ > 0;
}

int Satemu::Stop(int signal_number) {
  if (!Running()) return exit_status_;
  kill(pid_, signal_number);
  exit_status_ = WaitExit(pid_, kExitMs);
  if (exit_status_ < 0) {
    kill(pid_, SIGKILL);
    WaitExit(pid_, kExitMs);
  }
  pid_ = -1;
  return exit_status_;
}

std::string Satemu::Errors() const {
  return ReadFile(errors_file_);
}

int Satemu::RunToEnd(const std::vector<std::string>& args, std::string* errors) {
  TempDir scratch;
  const std::string errors_file = scratch / "errors";
  const pid_t pid = Spawn(args, -1, errors_file);
  if (pid <= 0) return -1;
  int status = WaitExit(pid, kExitMs);
  if (status < 0) {
    kill(pid, SIGKILL);
    WaitExit(pid, kExitMs);
  }
  *errors = ReadFile(errors_file);
  return status;
}

}  // namespace kovrad::test
