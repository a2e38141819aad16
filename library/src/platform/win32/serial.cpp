// Serial port on Windows: the communications API, used synchronously.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace kovrad::platform {
namespace {

constexpr DWORD kReadTotalMs = 100;

// Why the last call failed, and the port the handle-based calls concern.
char last_failure[kFailureSize];
char port_path[MAX_PATH];

HANDLE Win(PortHandle port) {
  return reinterpret_cast<HANDLE>(port);
}

// What one ReadFile or WriteFile can take: a DWORD's worth, where size_t is
// wider. A longer write then ends short, and is reported so.
DWORD Chunk(size_t count) {
  return count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
}

// Records GetLastError() against the port; returns false to pass on.
bool PortFailed() {
  const DWORD error = GetLastError();
  // A port another program has open is refused with "access denied".
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
    std::snprintf(last_failure, sizeof last_failure, "%s: held by another program", port_path);
    return false;
  }
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, sizeof text, nullptr);
  // The system's text ends with a line break.
  for (size_t n = std::strlen(text); n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r');) {
    text[--n] = '\0';
  }
  std::snprintf(last_failure, sizeof last_failure, "%s: %s (%lu)", port_path, text,
                static_cast<unsigned long>(error));
  return false;
}

}  // namespace

const char* LastFailure() {
  return last_failure;
}

bool PortNameFor(int32_t number, char* name, size_t size) {
  int n = std::snprintf(name, size, "COM%d", number);
  return n > 0 && static_cast<size_t>(n) < size;
}

bool DevicePath(const char* port_name, char* path, size_t size) {
  int n = std::snprintf(path, size, "\\\\.\\%s", port_name);
  return n > 0 && static_cast<size_t>(n) < size;
}

PortHandle OpenPort(const char* path) {
  std::snprintf(port_path, sizeof port_path, "%s", path);
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<PortHandle>(h);
  PortFailed();
  return kNoPort;
}

bool SetCommState(PortHandle port) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(Win(port), &dcb)) return PortFailed();
  dcb.BaudRate = CBR_115200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  // Raw: the driver keeps what the last program set, and frames are binary.
  // Software flow control would swallow their 0x11 and 0x13 bytes, null
  // stripping their zeros; hardware flow control or an abort on error would
  // stall the link.
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = dcb.fInX = FALSE;
  dcb.fErrorChar = dcb.fNull = dcb.fAbortOnError = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  return ::SetCommState(Win(port), &dcb) != 0 || PortFailed();
}

bool SetCommTimeouts(PortHandle port) {
  COMMTIMEOUTS t{};
  if (!GetCommTimeouts(Win(port), &t)) return PortFailed();
  t.ReadIntervalTimeout = 50;
  t.ReadTotalTimeoutMultiplier = 0;
  t.ReadTotalTimeoutConstant = kReadTotalMs;
  t.WriteTotalTimeoutMultiplier = 1;
  t.WriteTotalTimeoutConstant = 500;
  return ::SetCommTimeouts(Win(port), &t) != 0 || PortFailed();
}

bool PurgeInput(PortHandle port) {
  return PurgeComm(Win(port), PURGE_RXCLEAR) != 0 || PortFailed();
}

bool Flush(PortHandle port) {
  return FlushFileBuffers(Win(port)) != 0 || PortFailed();
}

size_t Read(PortHandle port, void* buffer, size_t count) {
  DWORD got = 0;
  if (!ReadFile(Win(port), buffer, Chunk(count), &got, nullptr)) {
    PortFailed();
    // A removed device fails every read at once; waiting out the read
    // time-out keeps the reply wait from spinning.
    Sleep(kReadTotalMs);
    return 0;
  }
  return got;
}

size_t ReadWaiting(PortHandle port, void* buffer, size_t count) {
  COMSTAT status{};
  DWORD errors = 0;
  if (!ClearCommError(Win(port), &errors, &status) || status.cbInQue == 0) return 0;
  return Read(port, buffer, count < status.cbInQue ? count : status.cbInQue);
}

bool Write(PortHandle port, const void* data, size_t count) {
  DWORD written = 0;
  if (!WriteFile(Win(port), data, Chunk(count), &written, nullptr)) return PortFailed();
  // The write time-out ends a write early without an error: a short write
  // did not deliver the request.
  if (written == count) return true;
  std::snprintf(last_failure, sizeof last_failure, "%s: %lu of %llu bytes written", port_path,
                static_cast<unsigned long>(written), static_cast<unsigned long long>(count));
  return false;
}

bool ModemStatus(PortHandle port, uint32_t* bits) {
  DWORD status = 0;
  if (!GetCommModemStatus(Win(port), &status)) return PortFailed();
  *bits = status & (kModemCts | kModemDsr);
  return true;
}

int ClosePort(PortHandle port) {
  if (CloseHandle(Win(port))) return 1;
  PortFailed();
  return 0;
}

}  // namespace kovrad::platform
