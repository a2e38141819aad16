// Round trip of ConsultarSAT: median and 95th percentile over many calls,
// against a device that answers at once (the library's own cost) and against
// satemu, each beside the reference reader on the same device in the same run.
// Against the device that answers at once, the floor: the least a conforming
// exchange can cost on the same terminal, which the library's median is
// measured against.
//
//   bench_exchange [--calls N] [--quiet]
//
// The library's calls run inside bench_measured_calls(), so that
// `valgrind --tool=callgrind --toggle-collect=bench_measured_calls` counts
// the instructions of the calls alone (scripts/bench does this with --quiet,
// which runs only those calls).
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fake_device.h"
#include "figures.h"
#include "kovrad.h"
#include "pty_responder.h"
#include "reference_reader.h"
#include "satemu_process.h"

namespace {

using namespace kovrad::bench;

constexpr int32_t kSession = 1;
constexpr std::string_view kReply = "000001|08000|SAT em opera\xE7\xE3o||";
constexpr int kWarmUp = 20;
constexpr int kReferenceCalls = 40;

struct Row {
  const char* device;
  const char* reader;
  std::vector<double> ms;
};

// The floor: what the library must do per exchange and nothing more. Open
// the port for exclusive use, set it raw at 115200, drop stale input, write
// the request frame, read the reply frame whole, release and close. The
// reply's length, or 0 when none came within `limit_ms`.
size_t FloorExchange(const std::string& path, std::string_view request, int limit_ms) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  size_t got = 0;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    ioctl(fd, TIOCEXCL);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(fd, TCSANOW, &tio);
    tcflush(fd, TCIFLUSH);
    uint8_t frame[4096];
    size_t want = 13;
    const int64_t deadline = NowMs() + limit_ms;
    if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
      while (got < want && got < sizeof frame) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(std::max<int64_t>(0, deadline - NowMs()))) <= 0) break;
        const ssize_t n = read(fd, frame + got, std::min(want, sizeof frame) - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
        if (got >= 13) want = 14 + (frame[9] | frame[10] << 8 | frame[11] << 16 | frame[12] << 24);
      }
    }
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
  }
  close(fd);
  return got;
}

}  // namespace

// Runs `count` calls, storing each round trip in milliseconds.
extern "C" __attribute__((noinline)) bool bench_measured_calls(int count, double* ms) {
  bool ok = true;
  for (int i = 0; i < count; ++i) {
    const Clock::time_point start = Clock::now();
    const char* reply = ConsultarSAT(kSession);
    ms[i] = Ms(Clock::now() - start);
    ok = ok && CodigoErro().code == __NOERROR__ && std::strncmp(reply, "000001|08000|", 13) == 0;
  }
  return ok;
}

namespace {

// The library's calls and the reference reader's on the device published in
// `dev_dir`; false when a reply is not the device's.
bool Measure(const std::string& dev_dir, const char* device, int calls, bool quiet, bool floor,
             std::vector<Row>* rows) {
  setenv("KOVRAD_DEV_DIR", dev_dir.c_str(), 1);
  AbreSerialSAT(0, 0, 0, 0, 0);
  // Outside bench_measured_calls, so that callgrind leaves them out.
  for (int i = 0; i < kWarmUp; ++i) ConsultarSAT(kSession);
  std::vector<double> ms(static_cast<size_t>(calls));
  if (!bench_measured_calls(calls, ms.data())) {
    std::fprintf(stderr, "bench_exchange: %s gave \"%s\" (link error %d)\n", device,
                 ConsultarSAT(kSession), CodigoErro().code);
    return false;
  }
  if (quiet) return true;
  rows->push_back({device, "library", ms});
  const std::string request = RequestFrame("000001|ConsultarSAT");
  bool ok = true;
  if (floor) {
    rows->push_back({device, "floor", TimesMs(calls, [&] {
                       ok = FloorExchange(dev_dir + "/ttyACM0", request, 5000) > 13 && ok;
                     })});
  }
  rows->push_back({device, "reference", TimesMs(kReferenceCalls, [&] {
                     const std::string frame = ReferenceExchange(dev_dir + "/ttyACM0", request, 5);
                     ok = ok && frame.find("|08000|") != std::string::npos;
                   })});
  if (!ok) std::fprintf(stderr, "bench_exchange: the reference reader got no reply\n");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int calls = 1000;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--calls" && i + 1 < argc) {
      calls = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--quiet") {
      quiet = true;
    } else {
      std::fprintf(stderr, "usage: bench_exchange [--calls N] [--quiet]\n");
      return 2;
    }
  }

  std::vector<Row> rows;
  bool ok = true;
  {
    kovrad::test::TempDir dir;
    kovrad::test::PtyResponder device(
        dir.path(), [](std::string_view) { return kovrad::test::FrameOf(kReply); });
    ok = Measure(device.dev_dir(), "answers at once", calls, quiet, true, &rows);
  }
  if (ok && !quiet) {
    kovrad::test::TempDir dir;
    kovrad::test::Satemu satemu(dir.path(), {"--kit"});
    ok = Measure(satemu.dev_dir(), "satemu", calls, quiet, false, &rows);
  }
  if (!ok) return 1;
  if (quiet) return 0;

  Heading("Exchange round trip (ConsultarSAT)");
  std::printf(
      "The reference reader waits out the 100 ms discard read and the 50 ms silent gap.\n\n");
  std::printf("| Device | Reader | Calls | Median | 95th percentile |\n");
  std::printf("|---|---|---:|---:|---:|\n");
  for (const Row& r : rows) {
    std::printf("| %s | %s | %zu | %.3f ms | %.3f ms |\n", r.device, r.reader, r.ms.size(),
                Quantile(r.ms, 0.5), Quantile(r.ms, 0.95));
  }
  const double median = Quantile(rows.front().ms, 0.5);
  std::printf("\nTarget: library median under 1 ms against a device that answers at once: %s.\n",
              median < 1.0 ? "met" : "MISSED");
  const double floor = Quantile(rows[1].ms, 0.5);
  std::printf(
      "Library median: %.2f times the floor (open, lock, configure, flush, write, read, "
      "close). Goal: within 1.25: %s.\n",
      median / floor, median <= 1.25 * floor ? "met" : "MISSED");
  return 0;
}
