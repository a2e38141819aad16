// One case of the fault matrix in a process of its own: calls one SAT
// function on port 0 of KOVRAD_DEV_DIR, reports what came back and whether
// anything still holds the port, then (once standard input says go, or
// closes) makes the next call and reports that too.
//
//   fault_probe FUNCTION [--hold] [--await-late MS]
//
//   --hold            hold the port the way another program would (an
//                     exclusive lock) during the first call
//   --await-late MS   after the first call, wait up to MS for a reply that
//                     comes too late to land on the closed port
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "kovrad.h"
#include "probe_protocol.h"
#include "sat_functions.h"

namespace {

using kovrad::test::EscapeValue;
using kovrad::test::kSatFunctions;

constexpr int32_t kSession = 42;
constexpr int32_t kNextSession = 43;
// Long replies (the oversized fault) are reported by their length and head.
constexpr size_t kReportedBytes = 4096;

// The report's own stream: the library writes its trace lines to standard
// output, which goes to standard error instead.
FILE* report = stdout;

void Report(const char* name, std::string_view value) {
  std::fprintf(report, "%s=%s\n", name, EscapeValue(value.substr(0, kReportedBytes)).c_str());
}

void Report(const char* name, long long value) {
  std::fprintf(report, "%s=%lld\n", name, value);
}

long long CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000LL +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// Times the process gave up the processor of its own accord: a wait that
// sleeps between polls does so about ten times a second, a spinning one
// never, however busy the machine.
long long Sleeps() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_nvcsw;
}

// Descriptors of this process open on `device`, other than `except`.
int OpenOn(const std::string& device, int except) {
  int count = 0;
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return -1;
  while (const dirent* entry = readdir(fds)) {
    const int fd = std::atoi(entry->d_name);
    if (entry->d_name[0] == '.' || fd == dirfd(fds) || fd == except) continue;
    char target[512];
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && device == std::string_view(target, static_cast<size_t>(n))) ++count;
  }
  closedir(fds);
  return count;
}

// The call and what it left behind, under `prefix` ("" or "next_").
void Call(const std::string& prefix, char* (*call)(int32_t), int32_t session,
          const std::string& device, int except) {
  const auto start = std::chrono::steady_clock::now();
  const long long cpu = CpuMs();
  const long long sleeps = Sleeps();
  const std::string reply = call(session);
  const long long wall = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
  const COMM_ERROR error = CodigoErro();
  Report((prefix + "reply").c_str(), reply);
  Report((prefix + "reply_length").c_str(), static_cast<long long>(reply.size()));
  Report((prefix + "code").c_str(), error.code);
  Report((prefix + "msg").c_str(),
         std::string_view(error.msg, strnlen(error.msg, sizeof error.msg)));
  Report((prefix + "open").c_str(), OpenOn(device, except));
  Report((prefix + "wall_ms").c_str(), wall);
  Report((prefix + "cpu_ms").c_str(), CpuMs() - cpu);
  Report((prefix + "sleeps").c_str(), Sleeps() - sleeps);
  std::fflush(report);
}

// The terminal behind port 0 of KOVRAD_DEV_DIR; empty when there is none.
std::string PortDevice() {
  const char* dev = std::getenv("KOVRAD_DEV_DIR");
  char device[PATH_MAX];
  if (dev == nullptr || realpath((std::string(dev) + "/ttyACM0").c_str(), device) == nullptr) {
    return {};
  }
  return device;
}

// Waits for the late reply to reach the port's input queue, where the next
// exchange must throw it away.
bool AwaitLate(const std::string& device, int timeout_ms) {
  const int fd = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  const bool arrived = poll(&p, 1, timeout_ms) > 0 && (p.revents & POLLIN) != 0;
  close(fd);
  return arrived;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fault_probe FUNCTION [--hold] [--await-late MS]\n");
    return 2;
  }
  const std::string_view name = argv[1];
  const kovrad::test::SatFunction* function = nullptr;
  for (const auto& f : kSatFunctions) {
    if (name == f.name) function = &f;
  }
  bool hold = false;
  int await_late_ms = 0;
  for (int i = 2; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--hold") hold = true;
    if (std::string_view(argv[i]) == "--await-late" && i + 1 < argc) {
      await_late_ms = std::atoi(argv[++i]);
    }
  }
  const std::string device = PortDevice();
  if (function == nullptr || device.empty()) {
    std::fprintf(stderr, "fault_probe: no such function or no port\n");
    return 2;
  }
  report = fdopen(dup(STDOUT_FILENO), "w");
  dup2(STDERR_FILENO, STDOUT_FILENO);
  AbreSerialSAT(0, 0, 0, 0, 0);

  int holder = -1;
  if (hold) {
    holder = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    Report("held", holder >= 0 && flock(holder, LOCK_EX | LOCK_NB) == 0);
  }
  Call("", function->call, kSession, device, holder);
  if (holder >= 0) close(holder);
  if (await_late_ms > 0) Report("late", AwaitLate(device, await_late_ms));

  char go[16];
  (void)!read(STDIN_FILENO, go, sizeof go);
  // A device that went away comes back on a terminal of its own.
  const std::string next_device = PortDevice();
  // The device remembers the reply of each session: asking for it shows
  // what the first call should have received. That question cannot ask
  // about itself, so it is checked with ConsultarSAT.
  if (name == "ConsultarNumeroSessao") {
    Call(
        "next_", [](int32_t s) { return ConsultarSAT(s); }, kNextSession, next_device, -1);
  } else {
    Call(
        "next_",
        [](int32_t s) { return ConsultarNumeroSessao(s, kovrad::test::kKitCode, kSession); },
        kNextSession, next_device, -1);
  }
  return 0;
}
