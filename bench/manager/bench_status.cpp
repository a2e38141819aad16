// The manager's status query end to end against satemu: the library bound
// at run time, ConsultarStatusOperacional through it, the reply decoded and
// read into its fields and every value of the status panel laid out.
#include <cstdio>
#include <string>
#include <vector>

#include "client/binding.h"
#include "core/status.h"
#include "fake_device.h"
#include "figures.h"
#include "satemu_process.h"

namespace {

using namespace kovrad::bench;
using namespace kovrad::manager;

constexpr int kQueries = 300;
constexpr int kWarmUp = 10;

// One query as the main window makes it; false unless it succeeded.
bool Query(kovrad::client::Library& library, size_t* shown) {
  const StatusOutcome outcome = QueryStatus(library, "12345678");
  const StatusReply reply = ReadStatusReply(outcome.reply);
  for (const PanelRow& row : kPanelRows) {
    if (const auto value = PanelValue(row, reply)) *shown += value->size();
  }
  return outcome.kind == StatusOutcome::Kind::kSuccess && outcome.calls == 1;
}

}  // namespace

int main() {
  kovrad::test::TempDir dir;
  kovrad::test::Satemu satemu(dir.path(), {"--kit"});
  kovrad::test::ScopedEnv dev("KOVRAD_DEV_DIR", satemu.dev_dir());
  kovrad::test::ScopedEnv sys("KOVRAD_SYSFS_DIR", satemu.sys_dir());
  kovrad::client::Library library;
  size_t shown = 0;
  bool ok = true;
  std::vector<double> ms;
  {
    // The manager selects no port: each call finds the device on USB.
    QuietStdout quiet;
    for (int i = 0; i < kWarmUp; ++i) ok = ok && Query(library, &shown);
    ms = TimesMs(kQueries, [&] { ok = ok && Query(library, &shown); });
  }
  if (!ok || shown == 0) {
    std::fprintf(stderr, "bench_status: the status query did not succeed\n");
    return 1;
  }
  Heading("Status query in the manager, end to end");
  std::printf(
      "The library bound at run time, ConsultarStatusOperacional against satemu (which saves its "
      "state file on every request), the reply read and the status panel's %zu values laid "
      "out; %d queries.\n\n",
      kPanelRows.size(), kQueries);
  std::printf("| Median | 95th percentile |\n|---:|---:|\n");
  std::printf("| %.3f ms | %.3f ms |\n", Quantile(ms, 0.5), Quantile(ms, 0.95));
  return 0;
}
