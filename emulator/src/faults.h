// Fault modes: what can go wrong with a reply on its way to the host, chosen
// on the command line so that the host's handling of each can be tested. The
// device still carries out every request; a fault only changes what goes
// over the wire.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "link.h"

namespace satemu {

enum class FaultKind {
  kNone,
  kSilent,       // no reply at all
  kDelay,        // the reply after `value` ms
  kSplit,        // the reply in several writes, `value` ms apart
  kBadChecksum,  // the reply's checksum off by one
  kControl,      // the reply under control code `value` instead of 0x01
  kOversized,    // the reply text padded past 2 MiB
  kGarbage,      // `value` zero bytes before the reply frame
  kText,         // `text` instead of the reply text
};

struct Fault {
  FaultKind kind = FaultKind::kNone;
  int value = 0;
  std::string text;
  std::string only;  // the one function it applies to; empty: all of them

  bool AppliesTo(std::string_view function) const {
    return kind != FaultKind::kNone && (only.empty() || only == function);
  }
};

// "silent", "delay:MS", "split[:GAP_MS]", "checksum", "control[:CODE]",
// "oversized", "garbage[:COUNT]", "text:REPLY". False with a reason when the
// text names no fault or its value is out of range.
bool ParseFault(std::string_view option, Fault* fault, std::string* error);

// One write of the reply, after a pause.
struct Chunk {
  Bytes bytes;
  int pause_ms = 0;
};

// The writes that carry `reply` to the host under `fault` (already known to
// apply); an empty plan is silence.
std::vector<Chunk> PlanReply(const Fault& fault, std::string_view reply, uint8_t sequence);

// Writes the plan to `fd` (non-blocking). Pauses end early when `stop_fd`
// becomes readable; a host that stops reading for a while makes the rest of
// the reply be dropped. False when stopped or dropped, with the reason.
bool SendPlan(int fd, const std::vector<Chunk>& plan, int stop_fd, std::string* problem);

}  // namespace satemu
