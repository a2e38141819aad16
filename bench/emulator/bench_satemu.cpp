// ConsultarSAT round trip through satemu: median and 95th percentile on a new
// device and after many sales, to show that the cost of a request does not
// grow with the device's history.
//
//   bench_satemu [--calls N] [--sales N]
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fake_device.h"
#include "figures.h"
#include "kovrad.h"
#include "satemu_process.h"

namespace {

using namespace kovrad::bench;

constexpr char kKitCode[] = "12345678";
constexpr int kWarmUp = 20;
// The round trip the emulator should stay under, whatever its history.
constexpr double kTargetMs = 0.3;

struct Row {
  int sales;
  std::vector<double> ms;
};

bool Measure(int calls, std::vector<double>* ms) {
  for (int i = 0; i < kWarmUp; ++i) ConsultarSAT(1);
  bool ok = true;
  *ms = TimesMs(calls, [&] { ok = ok && std::strncmp(ConsultarSAT(1), "000001|08000|", 13) == 0; });
  return ok;
}

bool Sell(const std::string& sale, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string_view reply = EnviarDadosVenda(GeraNumeroSessao(), kKitCode, sale.c_str());
    if (reply.find("|06000|") == std::string_view::npos) {
      std::fprintf(stderr, "bench_satemu: sale %d refused: %.200s\n", i + 1,
                   std::string(reply).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int calls = 1000, sales = 1000;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if ((arg == "--calls" || arg == "--sales") && i + 1 < argc) {
      (arg == "--calls" ? calls : sales) = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: bench_satemu [--calls N] [--sales N]\n");
      return 2;
    }
  }
  const std::string sale = kovrad::test::ReadFile(SATEMU_SAMPLES "/venda.xml");
  kovrad::test::TempDir dir;
  kovrad::test::Satemu satemu(dir.path(), {"--kit"});
  setenv("KOVRAD_DEV_DIR", satemu.dev_dir().c_str(), 1);
  std::vector<Row> rows(2);
  {
    QuietStdout quiet;
    AbreSerialSAT(0, 0, 0, 0, 0);
    rows[0].sales = 0;
    rows[1].sales = sales;
    if (!Measure(calls, &rows[0].ms) || !Sell(sale, sales) || !Measure(calls, &rows[1].ms)) {
      std::fprintf(stderr, "bench_satemu: satemu did not answer as expected\n");
      return 1;
    }
  }

  Heading("ConsultarSAT through satemu, by the device's history");
  std::printf("The sample sale (emulator/samples/venda.xml), each remembered with its coupon.\n\n");
  std::printf("| Sales before | Calls | Median | 95th percentile |\n");
  std::printf("|---:|---:|---:|---:|\n");
  for (const Row& r : rows) {
    std::printf("| %d | %zu | %.3f ms | %.3f ms |\n", r.sales, r.ms.size(), Quantile(r.ms, 0.5),
                Quantile(r.ms, 0.95));
  }
  const double before = Quantile(rows[0].ms, 0.5), after = Quantile(rows[1].ms, 0.5);
  std::printf("\nTarget: median under %.1f ms both times: %s.\n", kTargetMs,
              before < kTargetMs && after < kTargetMs ? "met" : "MISSED");
  return 0;
}
