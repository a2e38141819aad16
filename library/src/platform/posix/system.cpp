// Clock, process, debugger channel and the discovery lock on POSIX.
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace kovrad::platform {
namespace {
pthread_mutex_t discovery_lock = PTHREAD_MUTEX_INITIALIZER;
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

int64_t MonotonicSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec;
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
void CreateDiscoveryLock() {}
void LockDiscovery() {
  pthread_mutex_lock(&discovery_lock);
}
void UnlockDiscovery() {
  pthread_mutex_unlock(&discovery_lock);
}

}  // namespace kovrad::platform
