// Round trip of ConsultarSAT against a device on a pseudo-terminal that
// answers at once: median and 95th percentile over many calls.
//
//   bench_exchange [--calls N] [--quiet]
//
// The calls themselves run inside bench_measured_calls(), so that
// `valgrind --tool=callgrind --toggle-collect=bench_measured_calls` counts
// the instructions of the calls alone (scripts/bench does this).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "kovrad.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int32_t kSession = 1;
constexpr std::string_view kReply = "000001|08000|SAT em opera\xE7\xE3o||";
constexpr int kWarmUp = 20;

std::vector<uint8_t> ReplyFrame(std::string_view text) {
  std::vector<uint8_t> f(14 + text.size(), 0);
  f[0] = 0x01;
  const auto n = static_cast<uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) f[9 + i] = static_cast<uint8_t>(n >> (8 * i));
  std::memcpy(f.data() + 13, text.data(), text.size());
  unsigned sum = 0;
  for (size_t i = 1; i + 1 < f.size(); ++i) sum += f[i];
  f.back() = static_cast<uint8_t>(sum);
  return f;
}

// Reads `count` bytes from `fd`; false when the parent has gone (`stop`
// readable) or the terminal fails.
bool ReadExactly(int fd, int stop, uint8_t* out, size_t count) {
  size_t got = 0;
  while (got < count) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
    if (poll(p, 2, -1) < 0) continue;
    if (p[1].revents != 0) return false;
    ssize_t n = read(fd, out + got, count - got);
    if (n < 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

// The device: answers every request frame with the same reply at once.
[[noreturn]] void Respond(int master, int stop) {
  const std::vector<uint8_t> frame = ReplyFrame(kReply);
  std::vector<uint8_t> request(8);
  for (;;) {
    if (!ReadExactly(master, stop, request.data(), 8)) _exit(0);
    const uint32_t n = uint32_t{request[4]} | uint32_t{request[5]} << 8 |
                       uint32_t{request[6]} << 16 | uint32_t{request[7]} << 24;
    request.resize(8 + size_t{n} + 1);
    if (!ReadExactly(master, stop, request.data() + 8, size_t{n} + 1)) _exit(0);
    size_t done = 0;
    while (done < frame.size()) {
      ssize_t w = write(master, frame.data() + done, frame.size() - done);
      if (w <= 0) _exit(1);
      done += static_cast<size_t>(w);
    }
  }
}

// A pseudo-terminal published as <dir>/dev/ttyACM0, served by a child
// process so that the measured process runs only the library.
class Device {
 public:
  explicit Device(const std::string& dir) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) Fail("pseudo-terminal");
    const std::string slave = ptsname(master);
    // Held open by the device so the terminal survives the library closing it.
    int keepalive = open(slave.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    tcgetattr(keepalive, &tio);
    cfmakeraw(&tio);
    tcsetattr(keepalive, TCSANOW, &tio);
    fs::create_directories(dir + "/dev");
    fs::create_symlink(slave, dir + "/dev/ttyACM0");
    int stop[2];
    if (pipe(stop) != 0) Fail("pipe");
    child_ = fork();
    if (child_ < 0) Fail("fork");
    if (child_ == 0) {
      close(stop[1]);
      Respond(master, stop[0]);
    }
    close(stop[0]);
    close(master);
    close(keepalive);
    stop_ = stop[1];
  }
  ~Device() {
    close(stop_);
    waitpid(child_, nullptr, 0);
  }

 private:
  [[noreturn]] static void Fail(const char* what) {
    std::fprintf(stderr, "bench_exchange: no %s\n", what);
    std::exit(1);
  }
  pid_t child_ = -1;
  int stop_ = -1;
};

bool Check(const char* reply) {
  if (reply == kReply && CodigoErro().code == __NOERROR__) return true;
  std::fprintf(stderr, "bench_exchange: unexpected reply \"%s\" (code %d)\n", reply,
               CodigoErro().code);
  return false;
}

}  // namespace

// Runs `count` calls, storing each round trip in microseconds.
extern "C" __attribute__((noinline)) bool bench_measured_calls(int count, double* micros) {
  bool ok = true;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    const char* reply = ConsultarSAT(kSession);
    micros[i] = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    ok = ok && reply == kReply;
  }
  return ok;
}

int main(int argc, char** argv) {
  int calls = 1000;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--calls" && i + 1 < argc) {
      calls = std::atoi(argv[++i]);
    } else if (arg == "--quiet") {
      quiet = true;
    } else {
      std::fprintf(stderr, "usage: bench_exchange [--calls N] [--quiet]\n");
      return 2;
    }
  }
  if (calls < 1) calls = 1;

  char pattern[] = "/tmp/kovrad-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  setenv("KOVRAD_DEV_DIR", (dir + "/dev").c_str(), 1);
  int status = 0;
  {
    Device device(dir);
    AbreSerialSAT(0, 0, 0, 0, 0);
    for (int i = 0; i < kWarmUp; ++i) {
      if (!Check(ConsultarSAT(kSession))) status = 1;
    }
    std::vector<double> micros(static_cast<size_t>(calls));
    if (status == 0 && !bench_measured_calls(calls, micros.data())) {
      Check(ConsultarSAT(kSession));
      status = 1;
    }
    if (status == 0 && !quiet) {
      std::sort(micros.begin(), micros.end());
      const auto at = [&micros](double q) {
        return micros[std::min(micros.size() - 1, static_cast<size_t>(q * micros.size()))];
      };
      const double median = at(0.5);
      std::printf("ConsultarSAT round trip over %d calls\n", calls);
      std::printf("  median            %9.1f us\n", median);
      std::printf("  95th percentile   %9.1f us\n", at(0.95));
      std::printf("  max               %9.1f us\n", micros.back());
      std::printf("  target: median under 1 ms: %s\n", median < 1000.0 ? "met" : "missed");
    }
  }
  fs::remove_all(dir);
  return status;
}
