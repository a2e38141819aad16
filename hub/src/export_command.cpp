#include "export_command.h"

#include <cstdio>

#include "archive/bundle.h"
#include "config.h"

namespace kovrad::hub {
namespace {

constexpr char kUsage[] =
    "uso: kovrad-hub [--config ARQUIVO] exportar --mes AAAA-MM [--cnpj CNPJ] --saida ARQUIVO.zip\n"
    "\n"
    "Grava o pacote do contador: os XML de venda e de cancelamento do mês, pela chave,\n"
    "e o resumo em CSV e PDF. --cnpj restringe a um emitente.\n";

int Usage(const char* problem) {
  std::fprintf(stderr, "kovrad-hub: %s\n%s", problem, kUsage);
  return 2;
}

}  // namespace

int RunExport(const std::string& config_path, const std::vector<std::string>& args) {
  std::string month, cnpj, output;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool has_value = i + 1 < args.size();
    if (args[i] == "--mes" && has_value) {
      month = args[++i];
    } else if (args[i] == "--cnpj" && has_value) {
      cnpj = args[++i];
    } else if (args[i] == "--saida" && has_value) {
      output = args[++i];
    } else {
      return Usage(("argumento inesperado: " + args[i]).c_str());
    }
  }
  if (month.empty() || output.empty()) return Usage("--mes e --saida são obrigatórios");
  int64_t from = 0, to = 0;
  if (!archive::ParseMonth(month, &from, &to)) return Usage("--mes: use AAAA-MM");
  if (!cnpj.empty() &&
      (cnpj.size() != 14 || cnpj.find_first_not_of("0123456789") != std::string::npos)) {
    return Usage("--cnpj: 14 dígitos");
  }
  std::string error;
  const auto config = LoadConfig(config_path, &error);
  if (!config) {
    std::fprintf(stderr, "kovrad-hub: configuração: %s\n", error.c_str());
    return 2;
  }
  const auto archive =
      archive::Archive::Open(config->database, archive::Archive::Mode::kExisting, &error);
  if (!archive) {
    std::fprintf(stderr, "kovrad-hub: %s\n", error.c_str());
    return 1;
  }
  archive::BundleReport report;
  const bool written = archive::WriteBundle(
      *archive, month, cnpj, output,
      [](int64_t done, int64_t total) {
        std::fprintf(stderr, "kovrad-hub: %lld de %lld CF-e lidos\n", static_cast<long long>(done),
                     static_cast<long long>(total));
      },
      &report, &error);
  if (!written) {
    std::fprintf(stderr, "kovrad-hub: exportação de %s não gravada: %s\n", month.c_str(),
                 error.c_str());
    return 1;
  }
  const archive::Figures& all = report.summary.all;
  std::printf("%s: %lld CF-e de %s (%lld vendas, total %s; %lld cancelamentos, %s)\n",
              output.c_str(), static_cast<long long>(report.files), month.c_str(),
              static_cast<long long>(all.sales), archive::FormatCents(all.total).c_str(),
              static_cast<long long>(all.cancellations),
              archive::FormatCents(all.cancelled).c_str());
  return 0;
}

}  // namespace kovrad::hub
