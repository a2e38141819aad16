// Serial port on Windows: the communications API, used synchronously.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace kovrad::platform {
namespace {

constexpr DWORD kReadTotalMs = 100;

HANDLE Win(PortHandle port) {
  return reinterpret_cast<HANDLE>(port);
}

}  // namespace

bool PortNameFor(int32_t number, char* name, size_t size) {
  int n = std::snprintf(name, size, "COM%d", number);
  return n > 0 && static_cast<size_t>(n) < size;
}

bool DevicePath(const char* port_name, char* path, size_t size) {
  int n = std::snprintf(path, size, "\\\\.\\%s", port_name);
  return n > 0 && static_cast<size_t>(n) < size;
}

PortHandle OpenPort(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  return h == INVALID_HANDLE_VALUE ? kNoPort : reinterpret_cast<PortHandle>(h);
}

bool SetCommState(PortHandle port) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(Win(port), &dcb)) return false;
  dcb.BaudRate = CBR_115200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  return ::SetCommState(Win(port), &dcb) != 0;
}

bool SetCommTimeouts(PortHandle port) {
  COMMTIMEOUTS t{};
  if (!GetCommTimeouts(Win(port), &t)) return false;
  t.ReadIntervalTimeout = 50;
  t.ReadTotalTimeoutMultiplier = 0;
  t.ReadTotalTimeoutConstant = kReadTotalMs;
  t.WriteTotalTimeoutMultiplier = 1;
  t.WriteTotalTimeoutConstant = 500;
  return ::SetCommTimeouts(Win(port), &t) != 0;
}

bool PurgeInput(PortHandle port) {
  return PurgeComm(Win(port), PURGE_RXCLEAR) != 0;
}

bool Flush(PortHandle port) {
  return FlushFileBuffers(Win(port)) != 0;
}

size_t Read(PortHandle port, void* buffer, size_t count) {
  DWORD got = 0;
  if (!ReadFile(Win(port), buffer, static_cast<DWORD>(count), &got, nullptr)) {
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
  return WriteFile(Win(port), data, static_cast<DWORD>(count), &written, nullptr) != 0;
}

bool ModemStatus(PortHandle port, uint32_t* bits) {
  DWORD status = 0;
  if (!GetCommModemStatus(Win(port), &status)) return false;
  *bits = status & (kModemCts | kModemDsr);
  return true;
}

int ClosePort(PortHandle port) {
  return CloseHandle(Win(port)) ? 1 : 0;
}

}  // namespace kovrad::platform
