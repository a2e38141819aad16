// The device side of the serial link: request frames in, reply frames out.
//
// Request frame (host to device): 0x01, sequence, 0x00, 0x00, N (32-bit LE),
// N bytes of request text, checksum (sum of bytes 1 .. 7+N, modulo 256).
// Reply frame (device to host): control code, sequence, three header bytes, a
// 32-bit header value, L (32-bit LE), L bytes of reply text, checksum (sum of
// bytes 1 .. 12+L, modulo 256).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace satemu {

using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kSoh = 0x01;
inline constexpr size_t kRequestHeader = 8;
inline constexpr size_t kReplyHeader = 13;
// The longest request text the host's request frame can carry.
inline constexpr size_t kMaxRequestText = 1577855;

uint8_t Checksum(const uint8_t* bytes, size_t count);
uint32_t ReadLe32(const uint8_t* bytes);

struct RequestFrame {
  uint8_t sequence = 0;
  std::string text;  // may hold any bytes, zeros included
};

// Finds request frames in the bytes that arrive from the host. Bytes before a
// frame's start, frames with a bad header, a length past what the device
// accepts or a bad checksum are dropped (and reported); the search then goes
// on from the byte after the dropped start, so a good frame that follows is
// always found. Holds at most one frame's worth of bytes plus the last feed.
class FrameReader {
 public:
  using Report = std::function<void(const std::string&)>;

  explicit FrameReader(Report report, size_t max_text = kMaxRequestText);

  void Feed(const uint8_t* bytes, size_t count);
  // The next complete, good frame, or nothing until more bytes arrive.
  std::optional<RequestFrame> Next();
  // A frame has started and not finished.
  bool Pending() const { return start_ < buffer_.size(); }
  // The line went quiet in the middle of a frame: no frame that is not
  // whole by now will ever be, so the next calls of Next() look for whole
  // frames in all the bytes after its start and drop the rest, at once,
  // rather than waiting again at each false start. Ends at the next Feed().
  void Abandon();

 private:
  void Skip(size_t count);
  void ReportSkipped();

  Report report_;
  size_t max_text_;
  Bytes buffer_;
  size_t start_ = 0;    // where the frame being looked at begins
  size_t skipped_ = 0;  // bytes dropped since the last report
  bool quiet_ = false;  // nothing has arrived since a frame was abandoned
};

Bytes ReplyFrame(std::string_view text, uint8_t sequence, uint8_t control = kSoh);

}  // namespace satemu
