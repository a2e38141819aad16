// Round trip of ConsultarSAT: median and 95th percentile over many calls,
// against a device that answers at once (the library's own cost) and against
// satemu, each beside the reference reader on the same device in the same run.
//
//   bench_exchange [--calls N] [--quiet]
//
// The library's calls run inside bench_measured_calls(), so that
// `valgrind --tool=callgrind --toggle-collect=bench_measured_calls` counts
// the instructions of the calls alone (scripts/bench does this with --quiet,
// which runs only those calls).
#include <stdlib.h>

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
bool Measure(const std::string& dev_dir, const char* device, int calls, bool quiet,
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
    ok = Measure(device.dev_dir(), "answers at once", calls, quiet, &rows);
  }
  if (ok && !quiet) {
    kovrad::test::TempDir dir;
    kovrad::test::Satemu satemu(dir.path(), {"--kit"});
    ok = Measure(satemu.dev_dir(), "satemu", calls, quiet, &rows);
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
  return 0;
}
