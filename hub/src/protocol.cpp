#include "protocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace kovrad::hub {
namespace {

// No string the library takes or gives is larger than its 3 MiB reply buffer.
constexpr uint32_t kMaxPart = 8u << 20;
constexpr uint32_t kMaxParts = 64;

using Clock = std::chrono::steady_clock;

void PutLength(std::string* out, uint32_t n) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
}

bool ReadExactly(int fd, char* out, size_t count, Clock::time_point deadline, bool bounded) {
  while (count > 0) {
    int wait = -1;
    if (bounded) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      wait = static_cast<int>(left);
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t n = read(fd, out, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadLength(int fd, uint32_t* n, Clock::time_point deadline, bool bounded) {
  unsigned char bytes[4];
  if (!ReadExactly(fd, reinterpret_cast<char*>(bytes), 4, deadline, bounded)) return false;
  *n = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return true;
}

}  // namespace

bool WriteMessage(int fd, const Message& message) {
  std::string out;
  PutLength(&out, static_cast<uint32_t>(message.size()));
  for (const std::string& part : message) {
    if (part.size() > kMaxPart) return false;
    PutLength(&out, static_cast<uint32_t>(part.size()));
    out += part;
  }
  size_t done = 0;
  while (done < out.size()) {
    // MSG_NOSIGNAL: a worker that is gone must not take the hub with it.
    const ssize_t n = send(fd, out.data() + done, out.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ReadMessage(int fd, Message* message, int timeout_ms) {
  const bool bounded = timeout_ms >= 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(bounded ? timeout_ms : 0);
  uint32_t parts = 0;
  if (!ReadLength(fd, &parts, deadline, bounded) || parts > kMaxParts) return false;
  message->assign(parts, {});
  for (std::string& part : *message) {
    uint32_t size = 0;
    if (!ReadLength(fd, &size, deadline, bounded) || size > kMaxPart) return false;
    part.resize(size);
    if (!ReadExactly(fd, part.data(), size, deadline, bounded)) return false;
  }
  return true;
}

}  // namespace kovrad::hub
