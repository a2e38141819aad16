// Resident memory of a program that loads the library: before loading it,
// after loading it, after a status query and after a 1.5 MB sale. The
// library's module state (about 16 MiB of buffers) is zero-initialised, so
// its pages are committed only as exchanges touch them.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cfe_document.h"
#include "fake_device.h"
#include "figures.h"
#include "kovrad.h"
#include "pty_responder.h"
#include "resident.h"
#include "sale_codec.h"

namespace {

namespace t = kovrad::test;

constexpr size_t kDocumentSize = 1536 * 1024;
constexpr double kMiB = 1024.0 * 1024.0;

struct Row {
  const char* after;
  size_t process;
  t::Mapping module;
};

// The device's answer: a status reply, or a sale reply carrying `coupon`.
std::string Answer(std::string_view request, const std::string& sale_reply) {
  if (request.find("|EnviarDadosVenda|") != std::string_view::npos) return t::FrameOf(sale_reply);
  return t::FrameOf("000012|10000|Resposta com Sucesso|0000|Sem mensagens|900000000|DHCP");
}

template <typename F>
F Bind(void* library, const char* name) {
  return reinterpret_cast<F>(dlsym(library, name));
}

}  // namespace

int main() {
  const std::string document = t::CfeDocument(kDocumentSize, 1);
  const std::string rest = t::Base64(t::CfeDocument(kDocumentSize, 2)) +
                           "|20240315103000|CFe35240311222333000181590001234560000011234567|"
                           "1234.56||" +
                           t::Base64("assinatura");
  const std::string sale_reply =
      t::SaleReply("000012|06000|0000|Emitido com sucesso + conteudo notas.|||", t::Deflate(rest));
  t::TempDir dir;
  t::PtyResponder device(dir.path(),
                         [&](std::string_view request) { return Answer(request, sale_reply); });
  setenv("KOVRAD_DEV_DIR", device.dev_dir().c_str(), 1);

  std::vector<Row> rows;
  rows.push_back({"start, library not loaded", t::ResidentBytes(), {}});
  void* library = dlopen(KOVRAD_LIBRARY, RTLD_NOW);
  if (library == nullptr) {
    std::fprintf(stderr, "bench_memory: %s\n", dlerror());
    return 1;
  }
  const auto status =
      Bind<decltype(&ConsultarStatusOperacional)>(library, "ConsultarStatusOperacional");
  const auto sale = Bind<decltype(&EnviarDadosVenda)>(library, "EnviarDadosVenda");
  const auto select = Bind<decltype(&AbreSerialSAT)>(library, "AbreSerialSAT");
  const auto error = Bind<decltype(&CodigoErro)>(library, "CodigoErro");
  // The log name field lies in the module state: it locates the mapping.
  const char* module = Bind<decltype(&ArquivoLog)>(library, "ArquivoLog")("");
  rows.push_back({"load", t::ResidentBytes(), t::MappingOf(module)});
  select(0, 0, 0, 0, 0);
  status(12, "12345678");
  const bool status_ok = error().code == __NOERROR__;
  rows.push_back({"status query", t::ResidentBytes(), t::MappingOf(module)});
  const std::string reply = sale(12, "12345678", document.c_str());
  const bool sale_ok = error().code == __NOERROR__ && reply.size() > kDocumentSize;
  rows.push_back({"1.5 MB sale", t::ResidentBytes(), t::MappingOf(module)});
  if (!status_ok || !sale_ok) {
    std::fprintf(stderr, "bench_memory: the device did not answer (link error %d)\n", error().code);
    return 1;
  }

  kovrad::bench::Heading("Resident memory");
  std::printf(
      "A program that loads libkovrad.so with dlopen; the module state is the library's "
      "zero-initialised block of buffers (%.1f MiB reserved).\n\n",
      rows.back().module.size / kMiB);
  std::printf("| After | Process resident | Growth | Module state resident |\n");
  std::printf("|---|---:|---:|---:|\n");
  for (const Row& r : rows) {
    std::printf(
        "| %s | %.1f MiB | %+.2f MiB | ", r.after, r.process / kMiB,
        (static_cast<double>(r.process) - static_cast<double>(rows.front().process)) / kMiB);
    if (r.module.size == 0) {
      std::printf("- |\n");
    } else {
      std::printf("%.2f MiB |\n", r.module.resident / kMiB);
    }
  }
  return 0;
}
