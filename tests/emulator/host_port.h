// The host's end of satemu's port, for tests that play the host byte by byte.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>

#include "frames.h"

namespace kovrad::test {

// The host's end of the emulated port.
class Port {
 public:
  explicit Port(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  ~Port() { close(fd_); }
  bool ok() const { return fd_ >= 0; }

  void Write(const satemu::Bytes& bytes) {
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  void Write(std::string_view text) { Write(satemu::RequestBytes(text)); }

  // The text of the next reply frame, or nothing within the bound.
  std::optional<std::string> Reply(int timeout_ms = 10000) {
    satemu::Bytes header(satemu::kReplyHeader);
    if (!Read(header.data(), header.size(), timeout_ms)) return std::nullopt;
    satemu::Bytes rest(satemu::ReadLe32(header.data() + 9) + 1);
    if (!Read(rest.data(), rest.size(), timeout_ms)) return std::nullopt;
    return std::string(rest.begin(), rest.end() - 1);
  }

 private:
  bool Read(uint8_t* out, size_t count, int timeout_ms) {
    size_t got = 0;
    while (got < count) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, timeout_ms) <= 0) return false;
      const ssize_t n = read(fd_, out + got, count - got);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }

  int fd_;
};

}  // namespace kovrad::test
