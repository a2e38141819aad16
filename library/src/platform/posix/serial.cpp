// Serial port on POSIX terminals: exclusive open, raw 115200 8N1 and reads
// that follow the device link's time-outs with poll().
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/failure.h"

namespace kovrad::platform {
namespace {

// Why the last call failed, and the port the handle-based calls concern.
char last_failure[kFailureSize];
char port_path[PATH_MAX];

bool PortFailed() {
  return Failed(port_path, errno);
}

// A pseudo-terminal (an emulated device) has no modem lines: the line calls
// are refused with ENOTTY or EINVAL. That is no fault of the port, so it is
// said once in the debug trace instead of failing every open.
bool NoModemLines() {
  if (errno != ENOTTY && errno != EINVAL) return false;
  static bool told = false;
  if (!told) {
    told = true;
    char line[PATH_MAX + 128];
    std::snprintf(line, sizeof line, "%s: sem linhas de modem (pseudo-terminal)\n", port_path);
    DebugOutput(line);
  }
  return true;
}

constexpr int kReadTotalMs = 100;
constexpr int kReadGapMs = 50;
constexpr int kWriteConstantMs = 500;
constexpr int kFlushLimitMs = 500;

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

int Fd(PortHandle port) {
  return static_cast<int>(port);
}

// Waits until the descriptor is ready for `events` or `timeout_ms` passes.
bool WaitFor(int fd, short events, int64_t timeout_ms) {
  if (timeout_ms < 0) timeout_ms = 0;
  pollfd p{fd, events, 0};
  for (;;) {
    int r = poll(&p, 1, static_cast<int>(timeout_ms));
    if (r >= 0) return r > 0 && (p.revents & events) != 0;
    if (errno != EINTR) return false;
  }
}

void SleepUntil(int64_t deadline_ms) {
  for (int64_t left; (left = deadline_ms - NowMs()) > 0;) {
    timespec pause{static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000};
    nanosleep(&pause, nullptr);
  }
}

}  // namespace

bool PortNameFor(int32_t number, char* name, size_t size) {
  int n = std::snprintf(name, size, "ttyACM%d", number);
  return n > 0 && static_cast<size_t>(n) < size;
}

bool DevicePath(const char* port_name, char* path, size_t size) {
  const char* dir = std::getenv("KOVRAD_DEV_DIR");
  if (dir == nullptr || *dir == '\0') dir = "/dev";
  int n = std::snprintf(path, size, "%s/%s", dir, port_name);
  return n > 0 && static_cast<size_t>(n) < size;
}

bool Failed(const char* path, int error) {
  const bool held = error == EWOULDBLOCK || error == EBUSY;
  std::snprintf(last_failure, sizeof last_failure, "%s: %s", path,
                held ? "held by another program" : std::strerror(error));
  return false;
}

const char* LastFailure() {
  return last_failure;
}

PortHandle OpenPort(const char* path) {
  std::snprintf(port_path, sizeof port_path, "%s", path);
  int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    PortFailed();
    return kNoPort;
  }
  // Another program holding the port (or another handle of ours) keeps it.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    PortFailed();
    close(fd);
    return kNoPort;
  }
  ioctl(fd, TIOCEXCL);
  return fd;
}

bool SetCommState(PortHandle port) {
  int fd = Fd(port);
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return PortFailed();
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, B115200) != 0 || cfsetospeed(&tio, B115200) != 0 ||
      tcsetattr(fd, TCSANOW, &tio) != 0) {
    return PortFailed();
  }
  int lines = TIOCM_DTR | TIOCM_RTS;
  return ioctl(fd, TIOCMBIS, &lines) == 0 || NoModemLines() || PortFailed();
}

// The time-outs live in Read and Write; the descriptor only has to be usable.
bool SetCommTimeouts(PortHandle port) {
  return fcntl(Fd(port), F_GETFL) != -1 || PortFailed();
}

bool PurgeInput(PortHandle port) {
  return tcflush(Fd(port), TCIFLUSH) == 0 || PortFailed();
}

bool Flush(PortHandle port) {
  int fd = Fd(port);
  int64_t deadline = NowMs() + kFlushLimitMs;
  for (;;) {
    int pending = 0;
    if (ioctl(fd, TIOCOUTQ, &pending) != 0) return PortFailed();
    if (pending <= 0) return true;
    if (NowMs() >= deadline) return Failed(port_path, ETIMEDOUT);
    struct timespec pause {
      0, 1000000
    };
    nanosleep(&pause, nullptr);
  }
}

size_t Read(PortHandle port, void* buffer, size_t count) {
  int fd = Fd(port);
  auto* out = static_cast<unsigned char*>(buffer);
  size_t got = 0;
  const int64_t total_deadline = NowMs() + kReadTotalMs;
  int64_t deadline = total_deadline;
  while (got < count) {
    if (!WaitFor(fd, POLLIN, deadline - NowMs())) break;
    ssize_t n = read(fd, out + got, count - got);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n < 0) PortFailed();
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    int64_t gap_deadline = NowMs() + kReadGapMs;
    deadline = gap_deadline < total_deadline ? gap_deadline : total_deadline;
  }
  // A line that hung up (the device unplugged or gone) answers every poll at
  // once. A read that finds nothing still takes its whole time-out, so the
  // reply wait keeps polling ten times a second instead of spinning.
  if (got == 0) SleepUntil(total_deadline);
  return got;
}

size_t ReadWaiting(PortHandle port, void* buffer, size_t count) {
  ssize_t n;
  do {
    n = read(Fd(port), buffer, count);
  } while (n < 0 && errno == EINTR);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

bool Write(PortHandle port, const void* data, size_t count) {
  int fd = Fd(port);
  auto* in = static_cast<const unsigned char*>(data);
  const int64_t deadline = NowMs() + kWriteConstantMs + static_cast<int64_t>(count);
  size_t done = 0;
  while (done < count) {
    ssize_t n = write(fd, in + done, count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return PortFailed();
    if (!WaitFor(fd, POLLOUT, deadline - NowMs())) return Failed(port_path, ETIMEDOUT);
  }
  return true;
}

bool ModemStatus(PortHandle port, uint32_t* bits) {
  int lines = 0;
  if (ioctl(Fd(port), TIOCMGET, &lines) != 0) {
    if (!NoModemLines()) return PortFailed();
    lines = 0;
  }
  *bits = ((lines & TIOCM_CTS) ? kModemCts : 0) | ((lines & TIOCM_DSR) ? kModemDsr : 0);
  return true;
}

int ClosePort(PortHandle port) {
  int fd = Fd(port);
  ioctl(fd, TIOCNXCL);
  flock(fd, LOCK_UN);
  if (close(fd) == 0) return 1;
  PortFailed();
  return 0;
}

}  // namespace kovrad::platform
