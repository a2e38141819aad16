// Clock, process, debugger channel and the discovery lock on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace kovrad::platform {
namespace {
CRITICAL_SECTION discovery_lock;
bool discovery_lock_ready = false;
}  // namespace

void CreateDiscoveryLock() {
  if (discovery_lock_ready) return;
  InitializeCriticalSection(&discovery_lock);
  discovery_lock_ready = true;
}

LocalTime Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

int64_t MonotonicSeconds() {
  return static_cast<int64_t>(GetTickCount64() / 1000);
}

long ProcessId() {
  return static_cast<long>(GetCurrentProcessId());
}

void DebugOutput(const char* text) {
  OutputDebugStringA(text);
}

void LockDiscovery() {
  EnterCriticalSection(&discovery_lock);
}
void UnlockDiscovery() {
  LeaveCriticalSection(&discovery_lock);
}

}  // namespace kovrad::platform
