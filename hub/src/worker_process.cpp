#include "worker_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace kovrad::hub {

bool WorkerProcess::EnsureRunning() {
  if (pid_ > 0) {
    // Reap a worker that ended by itself, so it is started afresh.
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == 0) return true;
    pid_ = -1;
    close(fd_);
    fd_ = -1;
  }
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
  const std::string port = std::to_string(port_);
  // Built before the fork: the child may only make async-signal-safe calls.
  const char* argv[] = {program_.c_str(), "--worker", "3", port.c_str(), nullptr};
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    close(pair[0]);
    close(pair[1]);
    return false;
  }
  if (pid == 0) {
    // A worker never outlives the hub: it would hold the port against the
    // hub's next start.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    if (pair[1] == 3 ? fcntl(3, F_SETFD, 0) != 0 : dup2(pair[1], 3) < 0) _exit(1);
    close_range(4, ~0U, 0);
    execv(argv[0], const_cast<char* const*>(argv));
    _exit(127);
  }
  close(pair[1]);
  pid_ = pid;
  fd_ = pair[0];
  return true;
}

WorkerProcess::Sent WorkerProcess::Call(const Message& request, Message* reply, int timeout_ms) {
  if (!EnsureRunning()) return Sent::kNotSent;
  if (!WriteMessage(fd_, request)) {
    Stop();
    return Sent::kNotSent;
  }
  if (ReadMessage(fd_, reply, timeout_ms) && reply->size() == 2) return Sent::kAnswered;
  Stop();
  return Sent::kLost;
}

void WorkerProcess::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace kovrad::hub
