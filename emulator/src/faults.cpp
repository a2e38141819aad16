#include "faults.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "text.h"

namespace satemu {
namespace {

constexpr int kDefaultGapMs = 120;
constexpr int kDefaultControl = 0x15;  // NAK
constexpr int kDefaultGarbage = 16;
constexpr int kMaxPauseMs = 600000;
// Past the host's 2 MiB receive buffer, by a margin.
constexpr size_t kOversizedText = 2097152 + 4096;
// How long a host may stop reading before the rest of a reply is dropped.
constexpr int kStallMs = 2000;

struct Kind {
  std::string_view name;
  FaultKind kind;
  bool takes_value;  // a number after ':'
  int default_value;
  int min, max;
};

constexpr Kind kKinds[] = {
    {"silent", FaultKind::kSilent, false, 0, 0, 0},
    {"delay", FaultKind::kDelay, true, -1, 0, kMaxPauseMs},
    {"split", FaultKind::kSplit, true, kDefaultGapMs, 0, kMaxPauseMs},
    {"checksum", FaultKind::kBadChecksum, false, 0, 0, 0},
    {"control", FaultKind::kControl, true, kDefaultControl, 0, 255},
    {"oversized", FaultKind::kOversized, false, 0, 0, 0},
    {"garbage", FaultKind::kGarbage, true, kDefaultGarbage, 1, 65536},
};

// "0x15" or "21".
bool ParseValue(std::string_view text, int min, int max, int* value) {
  long long v = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    if (text.empty() || text.size() > 8) return false;
    for (char c : text) {
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return false;
      v = v * 16 + digit;
    }
  } else if (!ParseInteger(text, min, max, &v)) {
    return false;
  }
  if (v < min || v > max) return false;
  *value = static_cast<int>(v);
  return true;
}

}  // namespace

bool ParseFault(std::string_view option, Fault* fault, std::string* error) {
  const size_t colon = option.find(':');
  const std::string_view name = option.substr(0, colon);
  const bool has_value = colon != std::string_view::npos;
  const std::string_view value = has_value ? option.substr(colon + 1) : std::string_view();
  if (name == "text") {
    if (!has_value) {
      *error = "fault text needs the reply text: text:REPLY";
      return false;
    }
    fault->kind = FaultKind::kText;
    fault->text = std::string(value);
    return true;
  }
  for (const Kind& k : kKinds) {
    if (k.name != name) continue;
    fault->kind = k.kind;
    fault->value = k.default_value;
    if (has_value && !k.takes_value) {
      *error = "fault " + std::string(name) + " takes no value";
      return false;
    }
    if (has_value && !ParseValue(value, k.min, k.max, &fault->value)) {
      *error = "fault " + std::string(name) + ": value must be " + std::to_string(k.min) + " to " +
               std::to_string(k.max);
      return false;
    }
    if (fault->value < 0) {
      *error = "fault " + std::string(name) + " needs a value: " + std::string(name) + ":MS";
      return false;
    }
    if (k.kind == FaultKind::kControl && fault->value == kSoh) {
      *error = "fault control: 0x01 is the ordinary data frame";
      return false;
    }
    return true;
  }
  *error = "unknown fault '" + std::string(name) +
           "' (silent, delay, split, checksum, control, oversized, garbage, text)";
  return false;
}

std::vector<Chunk> PlanReply(const Fault& fault, std::string_view reply, uint8_t sequence) {
  switch (fault.kind) {
    case FaultKind::kNone:
      return {{ReplyFrame(reply, sequence), 0}};
    case FaultKind::kSilent:
      return {};
    case FaultKind::kDelay:
      return {{ReplyFrame(reply, sequence), fault.value}};
    case FaultKind::kSplit: {
      const Bytes frame = ReplyFrame(reply, sequence);
      // Cuts inside the header, in the middle of the text and before the
      // checksum, so every stage of the host's assembly sees a short read.
      const size_t cuts[] = {5, kReplyHeader, kReplyHeader + reply.size() / 2, frame.size() - 1,
                             frame.size()};
      std::vector<Chunk> plan;
      size_t from = 0;
      for (size_t to : cuts) {
        if (to <= from) continue;
        plan.push_back({Bytes(frame.begin() + static_cast<std::ptrdiff_t>(from),
                              frame.begin() + static_cast<std::ptrdiff_t>(to)),
                        plan.empty() ? 0 : fault.value});
        from = to;
      }
      return plan;
    }
    case FaultKind::kBadChecksum: {
      Bytes frame = ReplyFrame(reply, sequence);
      ++frame.back();
      return {{std::move(frame), 0}};
    }
    case FaultKind::kControl:
      return {{ReplyFrame(reply, sequence, static_cast<uint8_t>(fault.value)), 0}};
    case FaultKind::kOversized: {
      std::string text(reply);
      text.resize(std::max(kOversizedText, text.size()), '#');
      return {{ReplyFrame(text, sequence), 0}};
    }
    case FaultKind::kGarbage: {
      Bytes bytes(static_cast<size_t>(fault.value), 0);
      const Bytes frame = ReplyFrame(reply, sequence);
      bytes.insert(bytes.end(), frame.begin(), frame.end());
      return {{std::move(bytes), 0}};
    }
    case FaultKind::kText:
      return {{ReplyFrame(fault.text, sequence), 0}};
  }
  return {};
}

namespace {

// Waits for `events` on `fd` (none when negative) or for `stop_fd`: 1 ready,
// 0 timed out, -1 stopped.
int Wait(int fd, short events, int stop_fd, int timeout_ms) {
  pollfd p[2] = {{stop_fd, POLLIN, 0}, {fd, events, 0}};
  for (;;) {
    const int r = poll(p, fd >= 0 ? 2 : 1, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    if (p[0].revents != 0) return -1;
    return r > 0 ? 1 : 0;
  }
}

}  // namespace

bool SendPlan(int fd, const std::vector<Chunk>& plan, int stop_fd, std::string* problem) {
  for (const Chunk& chunk : plan) {
    if (chunk.pause_ms > 0 && Wait(-1, 0, stop_fd, chunk.pause_ms) < 0) {
      *problem = "stopped while holding a reply back";
      return false;
    }
    size_t done = 0;
    while (done < chunk.bytes.size()) {
      const ssize_t n = write(fd, chunk.bytes.data() + done, chunk.bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) {
        *problem = std::string("reply not written: ") + std::strerror(errno);
        return false;
      }
      const int ready = Wait(fd, POLLOUT, stop_fd, kStallMs);
      if (ready < 0) {
        *problem = "stopped while writing a reply";
        return false;
      }
      if (ready == 0) {
        *problem = "host stopped reading; " + std::to_string(chunk.bytes.size() - done) +
                   " byte(s) of the reply dropped";
        return false;
      }
    }
  }
  return true;
}

}  // namespace satemu
