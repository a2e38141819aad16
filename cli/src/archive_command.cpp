#include "archive_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "archive/archive.h"
#include "command_line.h"

namespace kovrad::cli {
namespace {

constexpr char kUsage[] =
    "uso: satcli arquivo procurar [--de DIA] [--ate DIA] [--caixa N] [--documento CPF|CNPJ]\n"
    "                             [--chave CHAVE] [--serie S] [--numero N] [--cancelados]\n"
    "                             [--pagina N] [--arquivo DB]\n"
    "     satcli arquivo xml CHAVE [--arquivo DB]\n"
    "     satcli arquivo verificar [--arquivo DB]\n"
    "\n"
    "O arquivo de CF-e guarda cada cupom de venda e de cancelamento que o satcli emite\n"
    "(padrão: $XDG_DATA_HOME/kovrad/cfe.db). \"procurar\" lista os cupons, 50 por página,\n"
    "uma linha cada, campos separados por tabulação: chave, tipo, emissão, caixa, número,\n"
    "série, total, CPF/CNPJ do consumidor e o cancelamento. DIA é AAAA-MM-DD (ou\n"
    "AAAA-MM-DDThh:mm:ss). \"xml\" escreve o XML do cupom exatamente como o SAT o emitiu.\n"
    "\"verificar\" confere cada cupom com seu SHA-256, sua assinatura e seu índice.\n"
    "Saída: 0 feito; 1 cupom ausente ou arquivo com problemas; 2 arquivo inacessível;\n"
    "3 uso incorreto.\n";

constexpr int kDone = 0, kProblems = 1, kUnreachable = 2, kUsageStatus = 3;

int Usage(std::ostream& err, const std::string& problem) {
  err << "satcli: arquivo: " << problem << "\n" << kUsage;
  return kUsageStatus;
}

std::unique_ptr<archive::Archive> OpenArchive(const std::string& path, archive::Archive::Mode mode,
                                              std::string* problem) {
  if (path.empty()) {
    *problem =
        "sem pasta para o arquivo de CF-e (nem XDG_DATA_HOME nem HOME definidos); use --arquivo";
    return nullptr;
  }
  if (mode == archive::Archive::Mode::kCreate) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::exists(folder, ec)) {
      std::filesystem::create_directories(folder, ec);
      if (!ec) chmod(folder.c_str(), 0700);
    }
  }
  return archive::Archive::Open(path, mode, problem);
}

std::string Line(const archive::Entry& e) {
  const bool sale = e.kind == archive::Kind::kSale;
  char till[16] = "";
  if (e.till >= 0) std::snprintf(till, sizeof till, "%03d", e.till);
  std::string cancellation = sale ? e.cancelled_by : e.sale_key;
  if (!cancellation.empty())
    cancellation = (sale ? "cancelada por CFe" : "cancela CFe") + cancellation;
  return "CFe" + e.key + "\t" + (sale ? "venda" : "cancelamento") + "\t" +
         archive::FormatIssued(e.issued) + "\t" + till + "\t" + std::to_string(e.number) + "\t" +
         e.serial + "\t" + archive::FormatCents(e.total) + "\t" + e.buyer + "\t" + cancellation +
         "\n";
}

// Options of "procurar" and the archive's path, read into `query`.
bool ReadSearch(const std::vector<std::string>& args, archive::Query* query, std::string* path,
                std::string* key, std::string* problem) {
  std::map<std::string, std::string> values;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--cancelados") {
      query->cancelled = true;
    } else if (args[i].starts_with("--") && i + 1 < args.size()) {
      values[args[i]] = args[i + 1];
      ++i;
    } else {
      *problem = "argumento inesperado: " + args[i];
      return false;
    }
  }
  int64_t n = 0;
  for (const auto& [name, value] : values) {
    bool ok = true;
    if (name == "--arquivo") {
      *path = value;
    } else if (name == "--de") {
      ok = archive::ParseDay(value, false, &query->from);
    } else if (name == "--ate") {
      ok = archive::ParseDay(value, true, &query->to);
    } else if (name == "--caixa") {
      ok = ParseNumber(value, 0, 999, &n);
      query->till = static_cast<int>(n);
    } else if (name == "--documento") {
      ok = (value.size() == 11 || value.size() == 14) && ParseNumber(value, 0, INT64_MAX, &n);
      query->buyer = value;
    } else if (name == "--chave") {
      *key = archive::KeyDigits(value);
      ok = !key->empty();
    } else if (name == "--serie") {
      ok = ParseNumber(value, 0, 999999999, &n);
      query->serial = value;
    } else if (name == "--numero") {
      ok = ParseNumber(value, 0, 999999, &n);
      query->number = static_cast<int>(n);
    } else if (name == "--pagina") {
      ok = ParseNumber(value, 1, 100000, &n);
      query->page = static_cast<int>(n);
    } else {
      *problem = "opção desconhecida: " + name;
      return false;
    }
    if (!ok) {
      *problem = name + " inválido: " + value;
      return false;
    }
  }
  return true;
}

int Search(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  archive::Query query;
  std::string path = DefaultArchivePath(), key, problem;
  if (!ReadSearch(args, &query, &path, &key, &problem)) return Usage(err, problem);
  const auto kept = OpenArchive(path, archive::Archive::Mode::kExisting, &problem);
  if (!kept) {
    err << "satcli: arquivo: " << problem << "\n";
    return kUnreachable;
  }
  if (!key.empty()) {
    archive::Entry entry;
    const archive::Read read = kept->Find(key, &entry, &problem);
    if (read == archive::Read::kFound) out << Line(entry);
    if (read == archive::Read::kNotFound)
      err << "satcli: arquivo: CFe" << key << " não está no arquivo\n";
    if (read == archive::Read::kFailed) err << "satcli: arquivo: " << problem << "\n";
    return read == archive::Read::kFound ? kDone : kProblems;
  }
  archive::Page page;
  if (!kept->Search(query, &page, &problem)) {
    err << "satcli: arquivo: " << problem << "\n";
    return kUnreachable;
  }
  for (const archive::Entry& e : page.entries) out << Line(e);
  if (page.more) err << "satcli: arquivo: há mais cupons: --pagina " << query.page + 1 << "\n";
  return kDone;
}

int Xml(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string path = DefaultArchivePath(), key, problem;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--arquivo" && i + 1 < args.size()) {
      path = args[++i];
    } else if (key.empty() && !args[i].starts_with("--")) {
      key = args[i];
    } else {
      return Usage(err, "argumento inesperado: " + args[i]);
    }
  }
  if (archive::KeyDigits(key).empty())
    return Usage(err, "xml precisa da chave do cupom (CFe e 44 dígitos)");
  const auto kept = OpenArchive(path, archive::Archive::Mode::kExisting, &problem);
  if (!kept) {
    err << "satcli: arquivo: " << problem << "\n";
    return kUnreachable;
  }
  std::string xml;
  const archive::Read read = kept->Xml(key, &xml, &problem);
  if (read == archive::Read::kFound) {
    out << xml;
    return kDone;
  }
  err << "satcli: arquivo: "
      << (read == archive::Read::kNotFound ? key + " não está no arquivo" : problem) << "\n";
  return read == archive::Read::kFailed ? kUnreachable : kProblems;
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string path = DefaultArchivePath(), problem;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--arquivo" && i + 1 < args.size()) {
      path = args[++i];
    } else {
      return Usage(err, "argumento inesperado: " + args[i]);
    }
  }
  const auto kept = OpenArchive(path, archive::Archive::Mode::kExisting, &problem);
  if (!kept) {
    err << "satcli: arquivo: " << problem << "\n";
    return kUnreachable;
  }
  const archive::Verification v = kept->Verify([&err](int64_t done, int64_t total) {
    if (done % 10000 == 0 || done == total) {
      err << "satcli: arquivo: " << done << " de " << total << " CF-e verificados\n";
    }
  });
  for (const archive::Problem& p : v.problems) {
    out << (p.key.empty() ? "arquivo" : "CFe" + p.key) << ": " << p.what << "\n";
  }
  out << v.checked << " CF-e verificados em " << path << ": "
      << (v.ok() ? "todos conferem" : std::to_string(v.problems.size()) + " problema(s)") << "\n";
  return v.ok() ? kDone : kProblems;
}

}  // namespace

std::string DefaultArchivePath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  std::filesystem::path base;
  if (data != nullptr && data[0] == '/') {
    base = data;
  } else if (home != nullptr && home[0] != '\0') {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return {};
  }
  return (base / "kovrad" / "cfe.db").string();
}

Kept ArchiveReply(const std::string& path, std::string_view reply, std::string* problem) {
  std::string xml;
  if (!archive::CouponOfReply(reply, &xml)) return Kept::kYes;
  archive::Document document;
  if (!archive::ReadDocument(xml, &document, problem)) {
    *problem = "the reply's document was not archived: it is no CF-e (" + *problem + ")";
    return Kept::kNotACoupon;
  }
  const auto kept = OpenArchive(path, archive::Archive::Mode::kCreate, problem);
  if (!kept) {
    *problem = "the coupon was not archived: " + *problem + "; keep the reply above";
    return Kept::kNo;
  }
  const archive::Stored stored = kept->Put(xml, problem);
  if (stored == archive::Stored::kNew || stored == archive::Stored::kAlready) return Kept::kYes;
  *problem = "the coupon was not archived in " + path + ": " + *problem + "; keep the reply above";
  return Kept::kNo;
}

int RunArchive(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] == "--help" || args[0] == "help") {
    out << kUsage;
    return args.empty() ? kUsageStatus : kDone;
  }
  if (args[0] == "procurar") return Search(args, out, err);
  if (args[0] == "xml") return Xml(args, out, err);
  if (args[0] == "verificar") return Verify(args, out, err);
  return Usage(err, "comando desconhecido: " + args[0]);
}

}  // namespace kovrad::cli
