// The extrato of a 100-item coupon rendered to each output: reading the
// coupon and laying it out, then PNG, PDF, text (48 and 32 columns) and
// ESC/POS (80 mm with the printer's symbols, 58 mm as raster images).
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "figures.h"
#include "receipt.h"

namespace {

using namespace kovrad::bench;
using namespace kovrad::receipt;

constexpr int kItems = 100;
constexpr int kRuns = 30;

// The signed sample sale with its first item repeated until it has kItems.
std::string HundredItems() {
  std::ifstream in(RECEIPT_SALE, std::ios::binary);
  std::ostringstream read;
  read << in.rdbuf();
  std::string xml = read.str();
  const size_t from = xml.find("<det ");
  const size_t to = xml.find("</det>", from) + 6;
  const std::string item = xml.substr(from, to - from);
  const size_t end = xml.rfind("</det>") + 6;
  std::string more;
  for (int i = 5; i <= kItems; ++i) {
    std::string copy = item;
    copy.replace(copy.find("nItem=\"1\""), 9, "nItem=\"" + std::to_string(i) + "\"");
    more += copy;
  }
  return xml.insert(end, more);
}

// Processor time of this process, in milliseconds: on a shared machine the
// work itself, without the waits for a core.
double CpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Row {
  const char* output;
  double goal_ms;
  std::function<bool(std::string*)> render;
};

}  // namespace

int main() {
  const std::string xml = HundredItems();
  Coupon coupon;
  std::string error;
  if (!ReadCoupon(xml, &coupon, &error) || coupon.items.size() != kItems) {
    std::fprintf(stderr, "bench_receipt: the 100-item coupon was not read: %s\n", error.c_str());
    return 1;
  }
  const Layout layout = MakeLayout(coupon);
  const Row rows[] = {
      {"read and lay out", 0,
       [&](std::string*) {
         Coupon c;
         return ReadCoupon(xml, &c, &error) && !MakeLayout(c).empty();
       }},
      {"PNG, 80 mm", 50,
       [&](std::string* out) { return RenderPng(layout, kPaper80, 1, out, &error); }},
      {"PDF, 80 mm", 50,
       [&](std::string* out) { return RenderPdf(layout, kPaper80, out, &error); }},
      {"text, 48 columns", 5,
       [&](std::string* out) { return !(*out = RenderText(layout, 48)).empty(); }},
      {"text, 32 columns", 5,
       [&](std::string* out) { return !(*out = RenderText(layout, 32)).empty(); }},
      {"ESC/POS, 80 mm, printer's symbols", 5,
       [&](std::string* out) {
         return RenderEscPos(layout, kPaper80, Symbols::kPrinter, out, &error);
       }},
      {"ESC/POS, 58 mm, raster symbols", 5,
       [&](std::string* out) {
         return RenderEscPos(layout, kPaper58, Symbols::kRaster, out, &error);
       }},
  };

  Heading("Extrato of a 100-item coupon");
  std::printf(
      "The signed sample sale with its first item repeated to %d items, rendered from its "
      "layout (reading the coupon and laying it out is the first row, not part of the "
      "others); best and median of %d runs in elapsed time, and the median processor time, "
      "which a busy machine inflates less. The goal holds for the best elapsed time.\n\n",
      kItems, kRuns);
  std::printf(
      "| Output | Size | Best | Median | Processor time | Goal |\n"
      "|---|---:|---:|---:|---:|---|\n");
  bool ok = true;
  for (const Row& row : rows) {
    std::string out;
    std::vector<double> cpu;
    const std::vector<double> ms = TimesMs(kRuns, [&] {
      const double start = CpuMs();
      ok = row.render(&out) && ok;
      cpu.push_back(CpuMs() - start);
    });
    const std::string goal = row.goal_ms == 0
                                 ? "-"
                                 : "under " + std::to_string(static_cast<int>(row.goal_ms)) +
                                       " ms: " + (Best(ms) < row.goal_ms ? "met" : "MISSED");
    std::printf("| %s | %zu bytes | %.3f ms | %.3f ms | %.3f ms | %s |\n", row.output, out.size(),
                Best(ms), Quantile(ms, 0.5), Quantile(cpu, 0.5), goal.c_str());
  }
  if (!ok) {
    std::fprintf(stderr, "bench_receipt: rendering failed: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
