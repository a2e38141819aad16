#include "link.h"

#include <cstring>

namespace satemu {

uint8_t Checksum(const uint8_t* bytes, size_t count) {
  unsigned sum = 0;
  for (size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<uint8_t>(sum);
}

uint32_t ReadLe32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

FrameReader::FrameReader(Report report, size_t max_text)
    : report_(std::move(report)), max_text_(max_text) {}

void FrameReader::Feed(const uint8_t* bytes, size_t count) {
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  quiet_ = false;
}

void FrameReader::Skip(size_t count) {
  start_ += count;
  skipped_ += count;
}

void FrameReader::ReportSkipped() {
  if (skipped_ == 0) return;
  report_("dropped " + std::to_string(skipped_) + " byte(s) outside any request frame");
  skipped_ = 0;
}

std::optional<RequestFrame> FrameReader::Next() {
  std::optional<RequestFrame> found;
  while (!found) {
    const uint8_t* begin = buffer_.data() + start_;
    const size_t rest = buffer_.size() - start_;
    const void* soh = rest > 0 ? std::memchr(begin, kSoh, rest) : nullptr;
    Skip(soh != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(soh) - begin) : rest);
    const size_t available = buffer_.size() - start_;
    if (available < kRequestHeader && !quiet_) break;
    if (available < kRequestHeader) {
      Skip(available);
      break;
    }
    const uint8_t* frame = buffer_.data() + start_;
    if (frame[2] != 0 || frame[3] != 0) {
      Skip(1);  // a stray start byte, not a frame header
      continue;
    }
    const uint32_t n = ReadLe32(frame + 4);
    if (n > max_text_) {
      ReportSkipped();
      report_("request frame announcing " + std::to_string(n) + " bytes (at most " +
              std::to_string(max_text_) + " accepted) dropped");
      Skip(1);
      continue;
    }
    if (available < kRequestHeader + n + 1) {
      if (!quiet_) break;
      // The line is quiet: a frame unfinished now never will be.
      Skip(1);
      continue;
    }
    if (Checksum(frame + 1, 7 + size_t{n}) != frame[kRequestHeader + n]) {
      ReportSkipped();
      report_("request frame of " + std::to_string(n) + " bytes with a bad checksum dropped");
      Skip(1);
      continue;
    }
    ReportSkipped();
    found = RequestFrame{frame[1],
                         std::string(reinterpret_cast<const char*>(frame) + kRequestHeader, n)};
    start_ += kRequestHeader + n + 1;
  }
  if (!Pending()) ReportSkipped();
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
  start_ = 0;
  return found;
}

void FrameReader::Abandon() {
  if (!Pending()) return;
  report_("unfinished request frame abandoned after the line went quiet");
  quiet_ = true;
  Skip(1);
}

Bytes ReplyFrame(std::string_view text, uint8_t sequence, uint8_t control) {
  Bytes frame(kReplyHeader + text.size() + 1, 0);
  frame[0] = control;
  frame[1] = sequence;
  const auto length = static_cast<uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) frame[9 + i] = static_cast<uint8_t>(length >> (8 * i));
  if (!text.empty()) std::memcpy(frame.data() + kReplyHeader, text.data(), text.size());
  frame.back() = Checksum(frame.data() + 1, kReplyHeader - 1 + text.size());
  return frame;
}

}  // namespace satemu
