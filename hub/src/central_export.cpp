// `kovrad-hub central exportar`: the accountant's bundle of one month for one
// taxpayer, made from the central database across all its stores. The
// month's coupons are put into an archive of their own in a private
// temporary folder, and the bundle is written from it exactly as a store's
// hub writes its own, summary included.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>

#include "archive/archive.h"
#include "archive/bundle.h"
#include "central.h"

namespace kovrad::hub {
namespace {

constexpr char kUsage[] =
    "uso: kovrad-hub central exportar --mes AAAA-MM --cnpj CNPJ --saida ARQUIVO.zip\n"
    "                                 [--config ARQUIVO]\n";

// "AAAA-MM" as the first day of that month and of the next one.
bool MonthBounds(const std::string& month, std::string* from, std::string* to) {
  if (month.size() != 7 || month[4] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6}) {
    if (month[i] < '0' || month[i] > '9') return false;
  }
  const int year = std::stoi(month.substr(0, 4));
  const int number = std::stoi(month.substr(5, 2));
  if (number < 1 || number > 12 || year < 2000) return false;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-01", year, number);
  *from = text;
  std::snprintf(text, sizeof text, "%04d-%02d-01", number == 12 ? year + 1 : year,
                number == 12 ? 1 : number + 1);
  *to = text;
  return true;
}

// A folder of our own, readable by its owner only, removed at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kovrad-exportar-XXXXXX");
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

int Fail(const std::string& what) {
  std::fprintf(stderr, "kovrad-hub: %s\n", what.c_str());
  return 1;
}

}  // namespace

int RunCentralExport(const std::vector<std::string>& args) {
  std::string month, cnpj, output, config_path = "/etc/kovrad/kovrad-hub.toml";
  for (size_t i = 2; i + 1 < args.size(); i += 2) {
    std::string* value = args[i] == "--mes"      ? &month
                         : args[i] == "--cnpj"   ? &cnpj
                         : args[i] == "--saida"  ? &output
                         : args[i] == "--config" ? &config_path
                                                 : nullptr;
    if (value == nullptr) break;
    *value = args[i + 1];
  }
  std::string from, to;
  if (args.size() % 2 != 0 || month.empty() || cnpj.empty() || output.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!MonthBounds(month, &from, &to)) {
    std::fprintf(stderr, "kovrad-hub: mês inválido: \"%s\" (use AAAA-MM)\n", month.c_str());
    return 2;
  }
  std::string error;
  const auto config = LoadConfig(config_path, &error);
  if (!config || !config->central.enabled()) {
    std::fprintf(stderr, "kovrad-hub: configuração: %s\n",
                 config ? "falta a seção [central]" : error.c_str());
    return 2;
  }
  const auto central = Central::Connect(config->central, &error);
  if (!central) return Fail("banco central: " + error);
  const ScratchFolder scratch;
  if (scratch.path().empty()) return Fail("pasta temporária não criada");
  const auto archive =
      archive::Archive::Open(scratch.path() + "/cfe.db", archive::Archive::Mode::kCreate, &error);
  if (!archive) return Fail(error);
  int64_t read = 0;
  std::string refused;
  const bool listed = central->ForEachCoupon(
      cnpj, from, to,
      [&](const std::string& xml) {
        ++read;
        const archive::Stored stored = archive->Put(xml, &error);
        if (stored == archive::Stored::kRefused || stored == archive::Stored::kFailed) {
          refused = error;
          return false;
        }
        return true;
      },
      &error);
  if (!listed) return Fail("banco central: " + error);
  if (!refused.empty()) return Fail("cupom do banco central recusado: " + refused);
  archive::BundleReport report;
  if (!archive::WriteBundle(*archive, month, cnpj, output, nullptr, &report, &error)) {
    return Fail(error);
  }
  std::printf("%s: %lld cupons de %s em %s\n", output.c_str(), static_cast<long long>(report.files),
              cnpj.c_str(), month.c_str());
  return 0;
}

}  // namespace kovrad::hub
