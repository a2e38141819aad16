// A serial port played from a script, standing in for the operating system
// under the fuzz targets. The library's reply wait reads the bytes a fuzz
// input gives, on a clock that moves only when a read finds nothing, so a
// wait of 30 minutes runs in a few milliseconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kovrad::fuzz {

struct PortScript {
  // What the device sends after the request, in order.
  std::span<const uint8_t> stream;
  // One byte per read, first to last: 0 finds nothing (100 ms pass), n
  // delivers at most n bytes. When they run out, each read takes what it
  // asks for while the stream lasts.
  std::span<const uint8_t> pacing;
  bool port_missing = false;  // the port cannot be opened
  bool write_fails = false;   // the request cannot be written
};

// Plays `script` on the next exchanges. The spans must outlive them.
void PlayPort(const PortScript& script);

// A script from a fuzz input: one flags byte (bit 0 port missing, bit 1
// write fails), a pacing length k, k pacing bytes, then the stream. Returns
// the bytes before the script (the target's own), or false when too short.
bool PlayPortFrom(std::span<const uint8_t> input, size_t own, std::span<const uint8_t>* mine);

// The virtual clock in milliseconds; it never goes back.
int64_t ClockMs();
void AdvanceClock(int64_t ms);

// Aborts unless the port is closed: an exchange must never leave it open.
void RequirePortClosed();

}  // namespace kovrad::fuzz
