// The platform layer of the library, played from a PortScript. Misuse that
// the real port would forgive (reading a closed port, opening it twice)
// aborts, so the fuzzer reports it.
#include "scripted_port.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace kovrad::fuzz {
namespace {

constexpr platform::PortHandle kHandle = 3;
constexpr int64_t kSilentReadMs = 100;

struct Port {
  PortScript script;
  size_t sent = 0;   // stream bytes delivered
  size_t paced = 0;  // pacing bytes used
  int64_t clock_ms = 0;
  bool open = false;
} port;

[[noreturn]] void Misuse(const char* what) {
  std::fprintf(stderr, "scripted port: %s\n", what);
  std::abort();
}

void RequireOpen(platform::PortHandle handle) {
  if (!port.open || handle != kHandle) Misuse("used while not open");
}

}  // namespace

void PlayPort(const PortScript& script) {
  const int64_t clock = port.clock_ms;
  port = Port{};
  port.script = script;
  port.clock_ms = clock;
}

bool PlayPortFrom(std::span<const uint8_t> input, size_t own, std::span<const uint8_t>* mine) {
  if (input.size() < own + 2) return false;
  *mine = input.first(own);
  const uint8_t flags = input[own];
  const size_t k = std::min<size_t>(input[own + 1], input.size() - own - 2);
  PortScript script;
  script.port_missing = (flags & 1) != 0;
  script.write_fails = (flags & 2) != 0;
  script.pacing = input.subspan(own + 2, k);
  script.stream = input.subspan(own + 2 + k);
  PlayPort(script);
  return true;
}

int64_t ClockMs() {
  return port.clock_ms;
}

void AdvanceClock(int64_t ms) {
  if (ms > 0) port.clock_ms += ms;
}

void RequirePortClosed() {
  if (port.open) Misuse("left open after the call");
}

}  // namespace kovrad::fuzz

namespace kovrad::platform {

using fuzz::port;

bool PortNameFor(int32_t number, char* name, size_t size) {
  const int n = std::snprintf(name, size, "ttyACM%d", number);
  return n > 0 && static_cast<size_t>(n) < size;
}

bool DevicePath(const char* port_name, char* path, size_t size) {
  const int n = std::snprintf(path, size, "/scripted/%s", port_name);
  return n > 0 && static_cast<size_t>(n) < size;
}

PortHandle OpenPort(const char*) {
  if (port.open) fuzz::Misuse("opened twice");
  if (port.script.port_missing) return kNoPort;
  port.open = true;
  return fuzz::kHandle;
}

bool SetCommState(PortHandle handle) {
  fuzz::RequireOpen(handle);
  return true;
}

bool SetCommTimeouts(PortHandle handle) {
  fuzz::RequireOpen(handle);
  return true;
}

bool PurgeInput(PortHandle handle) {
  fuzz::RequireOpen(handle);
  return true;
}

bool Flush(PortHandle handle) {
  fuzz::RequireOpen(handle);
  return true;
}

size_t Read(PortHandle handle, void* buffer, size_t count) {
  fuzz::RequireOpen(handle);
  const auto& s = port.script;
  size_t n = std::min(count, s.stream.size() - port.sent);
  if (port.paced < s.pacing.size()) n = std::min<size_t>(n, s.pacing[port.paced++]);
  if (n == 0) {
    port.clock_ms += fuzz::kSilentReadMs;
    return 0;
  }
  std::memcpy(buffer, s.stream.data() + port.sent, n);
  port.sent += n;
  ++port.clock_ms;
  return n;
}

size_t ReadWaiting(PortHandle handle, void*, size_t) {
  fuzz::RequireOpen(handle);
  return 0;
}

bool Write(PortHandle handle, const void*, size_t) {
  fuzz::RequireOpen(handle);
  return !port.script.write_fails;
}

bool ModemStatus(PortHandle handle, uint32_t* bits) {
  fuzz::RequireOpen(handle);
  *bits = kModemCts | kModemDsr;
  return true;
}

int ClosePort(PortHandle handle) {
  fuzz::RequireOpen(handle);
  port.open = false;
  return 1;
}

bool ListSerialDevices(std::vector<SerialDevice>* devices) {
  *devices = {{"USB\\VID_0525&PID_A4A7\\900000000",
               {"USB\\VID_0525&PID_A4A7&REV_2499", "USB\\VID_0525&PID_A4A7"},
               "ttyACM0"}};
  return true;
}

LocalTime Now() {
  return {1, 1, 2024, 12, 0, 0, 0};
}

int64_t MonotonicMilliseconds() {
  return port.clock_ms;
}

long ProcessId() {
  return 1;
}

const char* LastFailure() {
  return "";
}

void DebugOutput(const char*) {}
void CreateLibraryLock() {}
void LockLibrary() {}
void UnlockLibrary() {}

// The fuzzers run in a folder of their own, with no sat.ini or log there.
std::FILE* OpenRegularFile(const char* path, bool append) {
  return std::fopen(path, append ? "a" : "rb");
}

}  // namespace kovrad::platform
