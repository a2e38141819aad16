// Sales of 1 KB, 100 KB and 1.5 MB documents against a device on a
// pseudo-terminal that answers with a coupon of the same size: the time of
// each stage and of the whole round trip, beside the reference reader's
// round trip on the same device.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "base64.h"
#include "cfe_document.h"
#include "compression.h"
#include "fake_device.h"
#include "figures.h"
#include "kovrad.h"
#include "module.h"
#include "reference_reader.h"
#include "sale_codec.h"

namespace {

namespace t = kovrad::test;
using namespace kovrad::bench;

constexpr int kRuns = 20;
constexpr int kReferenceRuns = 5;
constexpr double kTargetMs = 100;
constexpr char kFields[] =
    "000123|06000|0000|Emitido com sucesso + conte\xFA"
    "do notas.|||";
constexpr char kCode[] = "12345678";

struct Size {
  const char* name;
  size_t bytes;
};
constexpr Size kSizes[] = {{"1 KB", 1024}, {"100 KB", 100 * 1024}, {"1.5 MB", 1536 * 1024}};

// One column of the table: the stages in milliseconds, best of the runs.
struct Column {
  double compress, send, receive, expand, decode, best, median, reference;
  size_t document;
};

bool Sale(const Size& size, Column* c) {
  const std::string document = t::CfeDocument(size.bytes, 1);
  const std::string coupon = t::CfeDocument(size.bytes, 2);
  const std::string rest = t::Base64(coupon) +
                           "|20240315103000|CFe35240311222333000181590001234560000011234567|"
                           "1234.56||" +
                           t::Base64(t::RandomText(256, "0123456789abcdef", 3));
  const std::string stream = t::Deflate(rest, 6);
  const t::Bytes frame = t::ReplyFrame(t::SaleReply(kFields, stream));

  t::TempDir dir;
  t::ScopedEnv dev("KOVRAD_DEV_DIR", dir / "dev");
  t::FakeDevice device(dir.path());
  std::atomic<Clock::rep> arrived{0};
  device.OnRequest([&](const t::Request&) {
    arrived = Clock::now().time_since_epoch().count();
    return t::Answer::Frame(frame);
  });
  AbreSerialSAT(0, 0, 0, 0, 0);

  // One sale first, checked: the figures are of a working round trip.
  if (std::string(EnviarDadosVenda(123, kCode, document.c_str())) != kFields + rest ||
      std::string(Base64ToAscii()) != coupon) {
    std::fprintf(stderr, "bench_sale: the %s sale did not come back whole (link error %d)\n",
                 size.name, CodigoErro().code);
    return false;
  }
  std::vector<double> round, out, back;
  for (int i = 0; i < kRuns; ++i) {
    const Clock::time_point start = Clock::now();
    EnviarDadosVenda(123, kCode, document.c_str());
    const Clock::time_point end = Clock::now();
    const Clock::time_point at{Clock::duration{arrived.load()}};
    round.push_back(Ms(end - start));
    out.push_back(Ms(at - start));
    back.push_back(Ms(end - at));
  }

  // The library's own stages on their own, on the same data.
  std::vector<uint8_t> compressed(kovrad::kSalePayloadSize);
  std::vector<uint8_t> expanded(kovrad::kExpandedSize);
  std::vector<uint8_t> decoded(kovrad::kDocumentBufferSize);
  long compressed_size = 0;
  c->compress = Best(TimesMs(kRuns, [&] {
    compressed_size =
        kovrad::Compacta(document.data(), document.size(), compressed.data(), compressed.size());
  }));
  c->expand = Best(TimesMs(kRuns, [&] {
    kovrad::Descompacta(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(),
                        expanded.data(), expanded.size());
  }));
  c->decode = Best(TimesMs(kRuns, [&] {
    kovrad::DecodificaBase64(rest.data(), rest.size(), decoded.data(), decoded.size());
  }));
  c->best = Best(round);
  c->median = Quantile(round, 0.5);
  c->send = std::max(0.0, Best(out) - c->compress);
  c->receive = std::max(0.0, Best(back) - c->expand - c->decode);
  c->document = document.size();

  // The reference reader does the same sale with the library's stages and
  // its own link.
  bool ok = true;
  const auto reference_sale = [&] {
    std::string text = std::string("000123|EnviarDadosVenda|") + kCode + "|";
    const long n =
        kovrad::Compacta(document.data(), document.size(), compressed.data(), compressed.size());
    text += t::Le32(static_cast<uint32_t>(n));
    text.append(reinterpret_cast<const char*>(compressed.data()), static_cast<size_t>(n));
    const std::string reply = ReferenceExchange(dir / "dev/ttyACM0", RequestFrame(text), 16);
    if (reply.size() != frame.size()) {
      ok = false;
      return;
    }
    // The stream follows the header, the fields and its length.
    const size_t at = 13 + sizeof kFields - 1 + 4;
    kovrad::Descompacta(reinterpret_cast<const uint8_t*>(reply.data() + at), stream.size(),
                        expanded.data(), expanded.size());
    kovrad::DecodificaBase64(reinterpret_cast<const char*>(expanded.data()), rest.size(),
                             decoded.data(), decoded.size());
  };
  c->reference = Quantile(TimesMs(kReferenceRuns, reference_sale), 0.5);
  if (!ok) std::fprintf(stderr, "bench_sale: the reference reader got no reply\n");
  return ok && compressed_size > 0;
}

}  // namespace

int main() {
  std::vector<Column> columns;
  for (const Size& size : kSizes) {
    Column c{};
    if (!Sale(size, &c)) return 1;
    columns.push_back(c);
  }
  Heading("Sale round trip by stage (EnviarDadosVenda)");
  std::printf(
      "A document and a coupon of the same size; stages are the best of %d runs, the reference "
      "reader's round trip the median of %d.\n\n",
      kRuns, kReferenceRuns);
  std::printf("| Stage |");
  for (const Size& size : kSizes) std::printf(" %s |", size.name);
  std::printf("\n|---|");
  for (size_t i = 0; i < std::size(kSizes); ++i) std::printf("---:|");
  std::printf("\n");
  auto row = [&](const char* stage, double Column::*field) {
    std::printf("| %s |", stage);
    for (const Column& c : columns) std::printf(" %.3f ms |", c.*field);
    std::printf("\n");
  };
  row("compress", &Column::compress);
  row("send", &Column::send);
  row("receive", &Column::receive);
  row("expand", &Column::expand);
  row("decode", &Column::decode);
  row("round trip, best", &Column::best);
  row("round trip, median", &Column::median);
  row("reference reader round trip", &Column::reference);
  const Column& largest = columns.back();
  std::printf("\nTarget: 1.5 MB round trip under %.0f ms: %s (zlib is %.0f%% of it).\n", kTargetMs,
              largest.best < kTargetMs ? "met" : "MISSED",
              100 * (largest.compress + largest.expand) / largest.best);
  return 0;
}
