// Resident memory of this process, read from /proc: the whole of it, and
// that of the one mapping that holds a given address (the library's module
// state, say).
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

namespace kovrad::test {

struct Mapping {
  size_t size = 0, resident = 0;  // bytes
};

inline Mapping MappingOf(const void* address) {
  const auto at = reinterpret_cast<uintptr_t>(address);
  std::ifstream smaps("/proc/self/smaps");
  Mapping found;
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    uintptr_t start = 0, end = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx ", &start, &end) == 2) {
      inside = start <= at && at < end;
      continue;
    }
    size_t kib = 0;
    if (inside && std::sscanf(line.c_str(), "Size: %zu kB", &kib) == 1) found.size = kib * 1024;
    if (inside && std::sscanf(line.c_str(), "Rss: %zu kB", &kib) == 1) found.resident = kib * 1024;
  }
  return found;
}

inline size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace kovrad::test
