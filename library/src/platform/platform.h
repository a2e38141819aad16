// The operating system as the portable core of the library sees it. Each
// backend (posix/, win32/) implements every function declared here; nothing
// else in the library includes a system header for these concerns.
//
// Every function below that fails records why: the system's error (errno, or
// GetLastError on Windows) with the device path or file it concerned, as
// "<path>: <reason>" ("/dev/ttyACM0: Permission denied", "/dev/ttyACM0: held
// by another program"). LastFailure() hands it over until the next failure,
// so the library can put it in its log and debug trace after its own line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kovrad::platform {

// ---- Why the last call failed ----

inline constexpr size_t kFailureSize = 4096 + 256;  // a whole path and its reason
// "<path>: <reason>" of the last failed call; empty before any failure.
const char* LastFailure();

// ---- Serial port ----

using PortHandle = intptr_t;
inline constexpr PortHandle kNoPort = -1;

// Modem status bits, as the device link reports them.
inline constexpr uint32_t kModemCts = 0x10;
inline constexpr uint32_t kModemDsr = 0x20;

// The name of port number `number` (ttyACM<n>, COM<n>) into `name`; false
// when it does not fit `size` bytes.
bool PortNameFor(int32_t number, char* name, size_t size);
// Writes the device path of `port_name` into `path` (at most `size` bytes,
// NUL included). False when it does not fit.
bool DevicePath(const char* port_name, char* path, size_t size);
// Opens the port for exclusive use; kNoPort when absent or held by another.
PortHandle OpenPort(const char* path);
// 115200 8N1, raw, DTR and RTS raised. False when any setting was refused.
bool SetCommState(PortHandle port);
// Read time-outs: 50 ms between bytes, 100 ms in all; write: 1 ms a byte + 500 ms.
bool SetCommTimeouts(PortHandle port);
// Empties the receive queue.
bool PurgeInput(PortHandle port);
// Waits (bounded) until what was written has left the port.
bool Flush(PortHandle port);
// One read of up to `count` bytes within the read time-outs; bytes read, 0 when
// none arrived (or on error).
size_t Read(PortHandle port, void* buffer, size_t count);
// Takes only what is already waiting, without blocking.
size_t ReadWaiting(PortHandle port, void* buffer, size_t count);
// Writes all `count` bytes within the write time-outs.
bool Write(PortHandle port, const void* data, size_t count);
// CTS and DSR as kModemCts | kModemDsr; false when they cannot be read.
bool ModemStatus(PortHandle port, uint32_t* bits);
// Releases exclusive use and closes; non-zero on success.
int ClosePort(PortHandle port);

// ---- Serial devices on USB ----

struct SerialDevice {
  std::string instance_id;                // USB\VID_xxxx&PID_xxxx\<serial>
  std::vector<std::string> hardware_ids;  // empty when they cannot be read
  std::string port_name;                  // e.g. ttyACM0
};

// Every present serial port with a USB identity, in the platform's order.
// False when the ports cannot be listed at all.
bool ListSerialDevices(std::vector<SerialDevice>* devices);

// ---- Process and clock ----

struct LocalTime {
  int day, month, year, hour, minute, second, millisecond;
};
LocalTime Now();
// Milliseconds of a clock that never goes back.
int64_t MonotonicMilliseconds();
long ProcessId();

// The debugger message channel.
void DebugOutput(const char* text);

// The library lock: every export holds it for its whole run, so calls from
// several threads take turns. Recursive, since the discovery exports run a
// SAT function inside. Created at load, never destroyed.
void CreateLibraryLock();
void LockLibrary();
void UnlockLibrary();

// ---- Files ----

// Opens `path` ("rb", or "a" to append, created when absent) only when it is
// a regular file: a FIFO or a device there must never block or be written.
// Null when it cannot be opened or is something else.
std::FILE* OpenRegularFile(const char* path, bool append);

}  // namespace kovrad::platform
