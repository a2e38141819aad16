#include "extrato.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "catalog.h"
#include "command_line.h"
#include "receipt.h"
#include "run.h"
#include "sale_command.h"

namespace kovrad::cli {
namespace {

constexpr char kUsage[] =
    "uso: satcli extrato CUPOM (--png ARQ | --pdf ARQ | --texto | --escpos DESTINO)...\n"
    "                     [--largura 80|58] [--raster]\n"
    "  CUPOM            o CF-e assinado (XML), ou o retorno da venda com o cupom em Base64\n"
    "                   (\"-\": a entrada padrão)\n"
    "  --png ARQ        o extrato como imagem PNG\n"
    "  --pdf ARQ        o extrato como PDF\n"
    "  --texto          o extrato em texto na saída padrão\n"
    "  --escpos DESTINO os bytes ESC/POS para a impressora (dispositivo ou arquivo)\n"
    "  --largura 80|58  a bobina em milímetros: 48 ou 32 colunas (padrão 80)\n"
    "  --raster         QR Code e código de barras como imagem, para impressoras sem esses\n"
    "                   comandos\n"
    "Em EnviarDadosVenda e CancelarUltimaVenda, --extrato ARQ (.png, .pdf ou .txt) grava o\n"
    "extrato do cupom emitido.\n";

struct Outputs {
  std::string png, pdf, escpos, text_file;
  bool text = false;  // on standard output
  receipt::Paper paper = receipt::kPaper80;
  receipt::Symbols symbols = receipt::Symbols::kPrinter;
};

int Usage(std::ostream& err, const std::string& problem) {
  err << "satcli: " << problem << "\n" << kUsage;
  return static_cast<int>(Status::kUsage);
}

// Writes `bytes` to `path`. A regular file is replaced only by a complete one
// (a temporary file renamed over it); a printer's device is written directly.
bool WriteOut(const std::string& path, const std::string& bytes, std::string* problem) {
  struct stat existing {};
  const bool device = stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode);
  std::string target = device ? path : path + ".XXXXXX";
  const int fd = device ? open(path.c_str(), O_WRONLY | O_NOCTTY) : mkstemp(target.data());
  if (fd < 0) {
    *problem = path + ": " + std::strerror(errno);
    return false;
  }
  if (!device) {
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  size_t done = 0;
  bool written = true;
  while (done < bytes.size() && written) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  written = written && close(fd) == 0 && (device || rename(target.c_str(), path.c_str()) == 0);
  if (!written) {
    *problem = path + ": " + std::strerror(errno);
    if (!device) unlink(target.c_str());
  }
  return written;
}

bool Render(const std::string& document, const Outputs& outputs, std::ostream& out,
            std::string* problem) {
  receipt::Coupon coupon;
  if (!receipt::ReadCoupon(document, &coupon, problem)) return false;
  const receipt::Layout layout = receipt::MakeLayout(coupon);
  std::string bytes;
  if (!outputs.png.empty() && !(receipt::RenderPng(layout, outputs.paper, 1.0, &bytes, problem) &&
                                WriteOut(outputs.png, bytes, problem))) {
    return false;
  }
  if (!outputs.pdf.empty() && !(receipt::RenderPdf(layout, outputs.paper, &bytes, problem) &&
                                WriteOut(outputs.pdf, bytes, problem))) {
    return false;
  }
  if (!outputs.escpos.empty() &&
      !(receipt::RenderEscPos(layout, outputs.paper, outputs.symbols, &bytes, problem) &&
        WriteOut(outputs.escpos, bytes, problem))) {
    return false;
  }
  if (!outputs.text_file.empty() &&
      !WriteOut(outputs.text_file, receipt::RenderText(layout, outputs.paper.columns), problem)) {
    return false;
  }
  if (outputs.text) out << receipt::RenderText(layout, outputs.paper.columns);
  return true;
}

int Extrato(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Outputs outputs;
  std::optional<std::string> coupon_path;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool valued = arg == "--png" || arg == "--pdf" || arg == "--escpos" || arg == "--largura";
    if (valued && i + 1 == args.size()) return Usage(err, arg + " precisa de um valor");
    if (arg == "--help" || arg == "-h") {
      out << kUsage;
      return static_cast<int>(Status::kSuccess);
    } else if (arg == "--png") {
      outputs.png = args[++i];
    } else if (arg == "--pdf") {
      outputs.pdf = args[++i];
    } else if (arg == "--escpos") {
      outputs.escpos = args[++i];
    } else if (arg == "--largura") {
      const std::string& width = args[++i];
      if (width != "80" && width != "58") return Usage(err, "--largura é 80 ou 58, não " + width);
      outputs.paper = width == "80" ? receipt::kPaper80 : receipt::kPaper58;
    } else if (arg == "--texto") {
      outputs.text = true;
    } else if (arg == "--raster") {
      outputs.symbols = receipt::Symbols::kRaster;
    } else if ((arg == "-" || !arg.starts_with("-")) && !coupon_path) {
      coupon_path = arg;
    } else {
      return Usage(err, "argumento inesperado: " + arg);
    }
  }
  if (!coupon_path) return Usage(err, "falta o arquivo do cupom");
  if (outputs.png.empty() && outputs.pdf.empty() && outputs.escpos.empty() && !outputs.text) {
    return Usage(err, "diga o que fazer: --png, --pdf, --texto ou --escpos");
  }
  std::string document, problem;
  if (!ReadDocument(*coupon_path, &document, &problem)) {
    err << "satcli: " << problem << "\n";
    return static_cast<int>(Status::kUsage);
  }
  if (!Render(document, outputs, out, &problem)) {
    err << "satcli: extrato: " << problem << "\n";
    return static_cast<int>(Status::kRefused);
  }
  return static_cast<int>(Status::kSuccess);
}

// What --extrato FILE asks for, known from FILE's name before the device is
// asked anything.
bool OutputsFor(const std::string& path, Outputs* outputs) {
  const auto ends = [&](const char* suffix) {
    const std::string s(suffix);
    if (path.size() < s.size()) return false;
    return std::equal(s.rbegin(), s.rend(), path.rbegin(), [](char a, char b) {
      return a == std::tolower(static_cast<unsigned char>(b));
    });
  };
  if (ends(".png")) {
    outputs->png = path;
  } else if (ends(".pdf")) {
    outputs->pdf = path;
  } else if (ends(".txt")) {
    outputs->text_file = path;
  } else {
    return false;
  }
  return true;
}

// A call with --extrato FILE: the coupon goes through --salvar (a temporary
// file when the caller did not ask for one) and is rendered once the device
// has signed it.
int CallWithExtrato(std::vector<std::string> args, size_t at, std::ostream& out,
                    std::ostream& err) {
  std::string target;
  if (args[at].starts_with("--extrato=")) {
    target = args[at].substr(10);
    args.erase(args.begin() + static_cast<long>(at));
  } else if (at + 1 < args.size()) {
    target = args[at + 1];
    args.erase(args.begin() + static_cast<long>(at), args.begin() + static_cast<long>(at) + 2);
  }
  Outputs outputs;
  if (target.empty() || !OutputsFor(target, &outputs)) {
    return Usage(err, "--extrato precisa de um arquivo .png, .pdf ou .txt");
  }
  const bool issues_coupon = std::any_of(args.begin(), args.end(), [](const std::string& a) {
    return a == "EnviarDadosVenda" || a == "CancelarUltimaVenda";
  });
  if (!issues_coupon) {
    return Usage(err, "--extrato vale para EnviarDadosVenda e CancelarUltimaVenda");
  }
  // Found out before a sale is made whose extrato would have nowhere to go.
  const std::string folder = std::filesystem::path(target).parent_path().string();
  if (access(folder.empty() ? "." : folder.c_str(), W_OK) != 0) {
    err << "satcli: --extrato " << target << ": " << std::strerror(errno) << "\n";
    return static_cast<int>(Status::kUsage);
  }

  std::string saved;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--salvar" && i + 1 < args.size()) saved = args[i + 1];
    if (args[i].starts_with("--salvar=")) saved = args[i].substr(9);
  }
  std::string scratch = std::filesystem::temp_directory_path() / "satcli-extrato.XXXXXX";
  const bool temporary = saved.empty();
  if (temporary) {
    if (mkdtemp(scratch.data()) == nullptr) {
      err << "satcli: " << scratch << ": " << std::strerror(errno) << "\n";
      return static_cast<int>(Status::kUsage);
    }
    saved = scratch + "/cfe.xml";
    args.insert(args.begin(), {"--salvar", saved});
  }
  // A file left from before must not pass for the coupon of this call: the
  // document replaces it by a rename, so a written one is a new file.
  struct stat before {};
  const bool existed = stat(saved.c_str(), &before) == 0;
  const int status = Run(args, out, err);
  struct stat after {};
  const bool written =
      stat(saved.c_str(), &after) == 0 && (!existed || after.st_ino != before.st_ino ||
                                           after.st_mtim.tv_nsec != before.st_mtim.tv_nsec ||
                                           after.st_mtim.tv_sec != before.st_mtim.tv_sec);
  std::string document, problem;
  const bool have = written && ReadDocument(saved, &document, &problem);
  if (temporary) {
    unlink(saved.c_str());
    rmdir(scratch.c_str());
  }
  if (status != static_cast<int>(Status::kSuccess)) return status;
  if (!have) {
    err << "satcli: extrato: o retorno não trouxe o cupom; " << target << " não foi gravado\n";
    return static_cast<int>(Status::kRefused);
  }
  if (!Render(document, outputs, out, &problem)) {
    err << "satcli: extrato: " << problem << "\n";
    return static_cast<int>(Status::kRefused);
  }
  return status;
}

}  // namespace

int RunWithExtrato(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const size_t command = CommandIndex(args);
  if (command < args.size() && args[command] == "extrato") {
    return Extrato(
        std::vector<std::string>(args.begin() + static_cast<std::ptrdiff_t>(command), args.end()),
        out, err);
  }
  if (args == std::vector<std::string>{"help", "extrato"}) {
    out << kUsage;
    return static_cast<int>(Status::kSuccess);
  }
  if (IsSaleCommand(args)) return RunSaleCommand(args, out, err);
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--extrato" || args[i].starts_with("--extrato=")) {
      return CallWithExtrato(args, i, out, err);
    }
  }
  return Run(args, out, err);
}

}  // namespace kovrad::cli
