// Clock, process, debugger channel, the library lock and regular files on POSIX.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace kovrad::platform {
namespace {
pthread_mutex_t library_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
}

LocalTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  return {local.tm_mday,
          local.tm_mon + 1,
          local.tm_year + 1900,
          local.tm_hour,
          local.tm_min,
          local.tm_sec,
          static_cast<int>(ts.tv_nsec / 1000000)};
}

int64_t MonotonicMilliseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

long ProcessId() {
  return static_cast<long>(getpid());
}

void DebugOutput(const char* text) {
  const char* on = std::getenv("KOVRAD_DEBUG");
  if (on == nullptr || *on == '\0') return;
  std::fputs(text, stderr);
}

// A statically initialised mutex needs no creation step.
void CreateLibraryLock() {}
void LockLibrary() {
  pthread_mutex_lock(&library_lock);
}
void UnlockLibrary() {
  pthread_mutex_unlock(&library_lock);
}

std::FILE* OpenRegularFile(const char* path, bool append) {
  // Non-blocking, so that opening a FIFO returns at once instead of waiting
  // for a writer; the mode is judged on what was actually opened.
  const int flags = append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY;
  const int fd = open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, append ? "a" : "rb");
  if (file == nullptr) close(fd);
  return file;
}

}  // namespace kovrad::platform
