// Clock, process, debugger channel, the library lock and regular files on
// Windows.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace kovrad::platform {
namespace {
// A critical section may be entered again by the thread that holds it.
CRITICAL_SECTION library_lock;
bool library_lock_ready = false;
}  // namespace

void CreateLibraryLock() {
  if (library_lock_ready) return;
  InitializeCriticalSection(&library_lock);
  library_lock_ready = true;
}

LocalTime Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

// The performance counter rather than the tick count: ticks come in steps of
// about 16 ms, which would end a wait that much before its limit.
int64_t MonotonicMilliseconds() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<int64_t>(now.QuadPart / frequency.QuadPart * 1000 +
                              now.QuadPart % frequency.QuadPart * 1000 / frequency.QuadPart);
}

long ProcessId() {
  return static_cast<long>(GetCurrentProcessId());
}

void DebugOutput(const char* text) {
  OutputDebugStringA(text);
}

void LockLibrary() {
  EnterCriticalSection(&library_lock);
}
void UnlockLibrary() {
  LeaveCriticalSection(&library_lock);
}

std::FILE* OpenRegularFile(const char* path, bool append) {
  const DWORD attributes = GetFileAttributesA(path);
  const bool absent = attributes == INVALID_FILE_ATTRIBUTES;
  if (absent ? !append : (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return nullptr;
  }
  // Names such as "COM1" or "NUL" are devices wherever they appear.
  HANDLE h = CreateFileA(path, append ? FILE_APPEND_DATA : GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         append ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  const bool regular = GetFileType(h) == FILE_TYPE_DISK;
  CloseHandle(h);
  // Binary: the log's lines carry their own "\r\n", which text mode would make "\r\r\n".
  return regular ? std::fopen(path, append ? "ab" : "rb") : nullptr;
}

}  // namespace kovrad::platform
