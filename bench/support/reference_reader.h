// The reference reader: one exchange done the plain way the link's read
// time-outs suggest, to set beside the library's figures. It throws stale
// input away with reads of up to 1,024,000 bytes until one returns nothing
// (so at least one read waits its full 100 ms), writes the request, then
// reads chunks of up to 1,024,000 bytes, each of which returns only after 50
// ms without a byte (or 100 ms with none), until the frame is in. The
// library instead takes only what is waiting and asks for the exact rest of
// the frame, so it returns as soon as the last byte is in.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovrad::bench {

inline int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

// One read with the link's time-outs: 100 ms in all, 50 ms between bytes.
inline size_t TimedRead(int fd, uint8_t* out, size_t count) {
  constexpr int kTotalMs = 100, kGapMs = 50;
  size_t got = 0;
  const int64_t total = NowMs() + kTotalMs;
  int64_t deadline = total;
  while (got < count) {
    pollfd p{fd, POLLIN, 0};
    const int64_t left = deadline - NowMs();
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t n = read(fd, out + got, count - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    deadline = std::min(total, NowMs() + kGapMs);
  }
  return got;
}

// Sends `request` (a whole request frame) on the terminal at `path` and
// returns the reply frame, or an empty one after `limit_s` seconds.
inline std::string ReferenceExchange(const std::string& path, std::string_view request,
                                     int limit_s) {
  constexpr size_t kChunk = 1024000;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return {};
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  tcflush(fd, TCIFLUSH);
  std::vector<uint8_t> chunk(kChunk);
  while (TimedRead(fd, chunk.data(), kChunk) > 0) {
  }
  for (size_t done = 0; done < request.size();) {
    const ssize_t n = write(fd, request.data() + done, request.size() - done);
    if (n > 0) done += static_cast<size_t>(n);
    pollfd p{fd, POLLOUT, 0};
    if (n <= 0) poll(&p, 1, 100);
  }
  std::string frame;
  const int64_t start = NowMs();
  size_t last = 0;
  for (;;) {
    if (NowMs() - start >= limit_s * 1000LL && last == 0) break;
    if (frame.size() >= 13) {
      const auto* h = reinterpret_cast<const uint8_t*>(frame.data() + 9);
      const size_t expected =
          uint32_t{h[0]} | uint32_t{h[1]} << 8 | uint32_t{h[2]} << 16 | uint32_t{h[3]} << 24;
      if (frame.size() >= expected + 14) break;
    }
    last = TimedRead(fd, chunk.data(), kChunk);
    frame.append(reinterpret_cast<const char*>(chunk.data()), last);
  }
  close(fd);
  return frame;
}

// The request frame of `text` (sequence byte 0).
inline std::string RequestFrame(std::string_view text) {
  std::string f = {'\x01', '\0', '\0', '\0'};
  for (int i = 0; i < 4; ++i) f += static_cast<char>(text.size() >> (8 * i));
  f.append(text);
  unsigned sum = 0;
  for (size_t i = 1; i < f.size(); ++i) sum += static_cast<uint8_t>(f[i]);
  f += static_cast<char>(sum);
  return f;
}

}  // namespace kovrad::bench
