#include "pty_responder.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "fake_device.h"

namespace kovrad::test {
namespace {

// Reads `count` bytes; false once the parent has gone (`stop` readable) or
// the terminal fails.
bool ReadExactly(int fd, int stop, uint8_t* out, size_t count) {
  size_t got = 0;
  while (got < count) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (p[1].revents != 0) return false;
    const ssize_t n = read(fd, out + got, count - got);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, int stop, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd p[2] = {{fd, POLLOUT, 0}, {stop, POLLIN, 0}};
    if (poll(p, 2, -1) < 0 && errno != EINTR) return false;
    if (p[1].revents != 0) return false;
  }
  return true;
}

[[noreturn]] void Serve(int master, int stop, const PtyResponder::Answer& answer) {
  std::vector<uint8_t> request(8);
  for (;;) {
    if (!ReadExactly(master, stop, request.data(), 8)) _exit(0);
    const uint32_t n = uint32_t{request[4]} | uint32_t{request[5]} << 8 |
                       uint32_t{request[6]} << 16 | uint32_t{request[7]} << 24;
    request.resize(8 + size_t{n} + 1);
    if (!ReadExactly(master, stop, request.data() + 8, size_t{n} + 1)) _exit(0);
    const std::string_view text(reinterpret_cast<const char*>(request.data() + 8), n);
    if (!WriteAll(master, stop, answer(text))) _exit(0);
    request.resize(8);
  }
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("PtyResponder: " + what);
}

}  // namespace

std::string FrameOf(std::string_view text) {
  const Bytes frame = ReplyFrame(text);
  return std::string(frame.begin(), frame.end());
}

PtyResponder::PtyResponder(const std::string& dir, Answer answer) : dev_dir_(dir + "/dev") {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) Fail("no pseudo-terminal");
  const std::string slave = ptsname(master);
  // Held open by the child so the terminal outlives each close by the library.
  const int keepalive = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  if (keepalive < 0 || tcgetattr(keepalive, &tio) != 0) Fail("cannot open " + slave);
  cfmakeraw(&tio);
  tcsetattr(keepalive, TCSANOW, &tio);
  std::filesystem::create_directories(dev_dir_);
  std::filesystem::create_symlink(slave, dev_dir_ + "/ttyACM0");
  int stop[2];
  if (pipe2(stop, O_CLOEXEC) != 0) Fail("no pipe");
  child_ = fork();
  if (child_ < 0) Fail("no child process");
  if (child_ == 0) {
    close(stop[1]);
    Serve(master, stop[0], answer);
  }
  close(stop[0]);
  close(master);
  close(keepalive);
  stop_ = stop[1];
}

PtyResponder::~PtyResponder() {
  close(stop_);
  waitpid(child_, nullptr, 0);
}

}  // namespace kovrad::test
