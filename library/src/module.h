// The library's module-wide state, in one place. One instance per loaded
// library; every export holds the library lock (LibraryLock) while it runs,
// so only one call at a time touches it. The reply buffer a SAT function
// returns is the calling thread's own, so that a thread's reply stays its own
// after the lock is released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kovrad.h"
#include "platform/platform.h"

namespace kovrad {

// A fixed buffer that remembers how far it has been written since it was last
// cleared, so that clearing costs what was used rather than its whole size.
// Every writer marks what it wrote with Touch().
template <size_t N>
struct Buffer {
  static constexpr size_t kSize = N;
  uint8_t data[N];
  size_t dirty;

  char* text() { return reinterpret_cast<char*>(data); }
  void Touch(size_t end) {
    if (end > dirty) dirty = end < N ? end : N;
  }
  void Clear() {
    std::memset(data, 0, dirty);
    dirty = 0;
  }
};

inline constexpr size_t kReplyTextMax = 2097152;              // reply text from the device
inline constexpr size_t kReplyFrameMax = kReplyTextMax + 14;  // with header and checksum
inline constexpr size_t kRequestFrameSize = 1577864;          // request text + 9
inline constexpr size_t kRequestTextMax = kRequestFrameSize - 9;
inline constexpr size_t kReadChunk = 1024000;
inline constexpr size_t kReplyBufferSize = 3145728;     // what SAT functions return
inline constexpr size_t kDocumentBufferSize = 2097152;  // decoded Base64 document
inline constexpr size_t kSaleDocumentMax = 2097151;
inline constexpr size_t kSalePayloadSize = 2107152;
inline constexpr size_t kExpandedSize = 3145728;
inline constexpr int kRecentSessions = 100;
inline constexpr size_t kPortNameField = 10;      // at most 9 characters
inline constexpr size_t kDevicePathField = 4096;  // PATH_MAX: any device directory
inline constexpr size_t kLogNameField = 100;      // at most 99 characters
inline constexpr size_t kPortMapSize = 1024;

struct Module {
  // Command exchange.
  COMM_ERROR error;
  uint8_t sequence;
  int32_t recent_sessions[kRecentSessions];
  int recent_index;
  uint32_t random_state;
  Buffer<kReplyTextMax> request_text;
  Buffer<kRequestFrameSize> request_frame;
  Buffer<kReadChunk> read_chunk;
  Buffer<kReplyFrameMax> receive;

  // SAT functions. The reply buffer of a thread that could not get its own.
  Buffer<kReplyBufferSize> reply;
  Buffer<kDocumentBufferSize> document;

  // Sale.
  Buffer<kSalePayloadSize> sale_payload;
  Buffer<kExpandedSize> expanded;

  // Serial link.
  char port_name[kPortNameField];
  // AbreSerialSAT refused a name: no port is chosen, and none is looked for
  // on USB, until a valid one is.
  bool port_refused;
  char device_path[kDevicePathField];
  platform::PortHandle port;
  bool port_open;

  // Diagnostic log. While it is off, "sat.ini" is read once per export call:
  // a call makes a dozen log requests, and a file created meanwhile is seen
  // from the next call on.
  char log_name[kLogNameField];
  bool settings_read_in_call;
  int call_depth;  // exports running on the thread that holds the lock

  // Discovery.
  char port_map[kPortMapSize];
};

// Zero-initialised, so its large buffers cost nothing until they are used.
Module& State();

// The calling thread's reply buffer, made on its first call (committed only
// as it is used) and released when the thread ends.
Buffer<kReplyBufferSize>& ReplyBuffer();

// Held by every export for its whole run.
class LibraryLock {
 public:
  LibraryLock() {
    platform::LockLibrary();
    ++State().call_depth;
  }
  ~LibraryLock() {
    if (--State().call_depth == 0) State().settings_read_in_call = false;
    platform::UnlockLibrary();
  }
  LibraryLock(const LibraryLock&) = delete;
  LibraryLock& operator=(const LibraryLock&) = delete;
};

// Load and unload steps, run by the platform when the library is loaded into
// a process and when it is unloaded.
void CarregaBiblioteca();
void DescarregaBiblioteca();

}  // namespace kovrad
