#include "extrato.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "catalog.h"
#include "command_line.h"
#include "i18n/messages.h"
#include "receipt.h"
#include "run.h"
#include "sale_command.h"

namespace kovrad::cli {
namespace {

using i18n::Fill;

constexpr char kUsage[] =
    N_("usage: satcli extrato COUPON (--png FILE | --pdf FILE | --texto | --escpos TARGET)...\n"
       "                      [--largura 80|58] [--raster]\n"
       "  COUPON           the signed CF-e (XML), or the sale's reply with the coupon in Base64\n"
       "                   (\"-\": standard input)\n"
       "  --png FILE       the extrato as a PNG image\n"
       "  --pdf FILE       the extrato as a PDF\n"
       "  --texto          the extrato as text on standard output\n"
       "  --escpos TARGET  the ESC/POS bytes for the printer (its device, a FIFO or a file)\n"
       "  --largura 80|58  the paper roll in millimetres: 48 or 32 columns (default 80)\n"
       "  --raster         QR Code and barcode as an image, for printers without those\n"
       "                   commands\n"
       "With EnviarDadosVenda and CancelarUltimaVenda, --extrato FILE (.png, .pdf or .txt)\n"
       "writes the extrato of the coupon made.\n");

struct Outputs {
  std::string png, pdf, escpos, text_file;
  bool text = false;  // on standard output
  receipt::Paper paper = receipt::kPaper80;
  receipt::Symbols symbols = receipt::Symbols::kPrinter;
};

int Usage(std::ostream& err, const std::string& problem) {
  err << "satcli: " << problem << "\n" << _(kUsage);
  return static_cast<int>(Status::kUsage);
}

// How long a printer's device or a FIFO may take to be opened and to take
// the bytes: a FIFO nobody reads, or a printer switched off, is reported.
constexpr auto kDeviceWait = std::chrono::seconds(10);
constexpr auto kRetryPause = std::chrono::milliseconds(50);

enum class Target { kFile, kDevice };

// Where `path` sends bytes: a regular file (or a new one) is replaced, a
// printer's device or a FIFO written in place. A symbolic link is followed
// only to a device: a file it names is never replaced through it.
std::optional<Target> TargetOf(const std::string& path, std::string* problem) {
  struct stat link {};
  if (lstat(path.c_str(), &link) != 0) return Target::kFile;
  struct stat info = link;
  if (S_ISLNK(link.st_mode) && stat(path.c_str(), &info) != 0) info = link;
  if (S_ISREG(info.st_mode) && !S_ISLNK(link.st_mode)) return Target::kFile;
  if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) return Target::kDevice;
  *problem = path + ": " +
             (S_ISDIR(info.st_mode) ? std::strerror(EISDIR)
                                    : _("not a regular file, a printer's device or a FIFO"));
  return std::nullopt;
}

// The device or FIFO opened without blocking: a FIFO opens once a program
// reads it.
int OpenDevice(const std::string& path, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 || errno != ENXIO || std::chrono::steady_clock::now() >= deadline) return fd;
    std::this_thread::sleep_for(kRetryPause);
  }
}

bool WriteBounded(int fd, const std::string& bytes,
                  std::chrono::steady_clock::time_point deadline) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{fd, POLLOUT, 0};
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      errno = ETIMEDOUT;
      return false;
    }
  }
  return true;
}

bool WriteDevice(const std::string& path, const std::string& bytes, std::string* problem) {
  const auto deadline = std::chrono::steady_clock::now() + kDeviceWait;
  const int fd = OpenDevice(path, deadline);
  if (fd < 0) {
    *problem =
        path + ": " + (errno == ENXIO ? _("no program reads this FIFO") : std::strerror(errno));
    return false;
  }
  const bool written = WriteBounded(fd, bytes, deadline);
  const int error = errno;
  close(fd);
  if (!written) {
    *problem = path + ": " +
               (error == ETIMEDOUT ? Fill(_("the device did not take the extrato within {1} s"),
                                          {std::to_string(kDeviceWait.count())})
                                   : std::strerror(error));
  }
  return written;
}

// Writes `bytes` to `path`. A regular file is replaced only by a complete one
// (a temporary file renamed over it); a printer's device is written directly.
bool WriteOut(const std::string& path, const std::string& bytes, std::string* problem) {
  const std::optional<Target> target = TargetOf(path, problem);
  if (!target) return false;
  if (*target == Target::kDevice) return WriteDevice(path, bytes, problem);
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    *problem = path + ": " + std::strerror(errno);
    return false;
  }
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  size_t done = 0;
  bool written = true;
  while (done < bytes.size() && written) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  int error = errno;
  if (close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && rename(temporary.c_str(), path.c_str()) != 0) {
    written = false;
    error = errno;
  }
  if (!written) {
    *problem = path + ": " + std::strerror(error);
    unlink(temporary.c_str());
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
    if (valued && i + 1 == args.size()) return Usage(err, Fill(_("{1} needs a value"), {arg}));
    if (arg == "--help" || arg == "-h") {
      out << _(kUsage);
      return static_cast<int>(Status::kSuccess);
    } else if (arg == "--png") {
      outputs.png = args[++i];
    } else if (arg == "--pdf") {
      outputs.pdf = args[++i];
    } else if (arg == "--escpos") {
      outputs.escpos = args[++i];
    } else if (arg == "--largura") {
      const std::string& width = args[++i];
      if (width != "80" && width != "58")
        return Usage(err, Fill(_("--largura is 80 or 58, not {1}"), {width}));
      outputs.paper = width == "80" ? receipt::kPaper80 : receipt::kPaper58;
    } else if (arg == "--texto") {
      outputs.text = true;
    } else if (arg == "--raster") {
      outputs.symbols = receipt::Symbols::kRaster;
    } else if ((arg == "-" || !arg.starts_with("-")) && !coupon_path) {
      coupon_path = arg;
    } else {
      return Usage(err, Fill(_("unexpected argument {1}"), {arg}));
    }
  }
  if (!coupon_path) return Usage(err, _("the coupon's file is missing"));
  if (outputs.png.empty() && outputs.pdf.empty() && outputs.escpos.empty() && !outputs.text) {
    return Usage(err, _("say what to make: --png, --pdf, --texto or --escpos"));
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
    return Usage(err, _("--extrato needs a .png, .pdf or .txt file"));
  }
  const bool issues_coupon = std::any_of(args.begin(), args.end(), [](const std::string& a) {
    return a == "EnviarDadosVenda" || a == "CancelarUltimaVenda";
  });
  if (!issues_coupon) {
    return Usage(err, _("--extrato goes with EnviarDadosVenda and CancelarUltimaVenda"));
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
    err << "satcli: extrato: "
        << Fill(_("the reply carried no coupon; {1} was not written"), {target}) << "\n";
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
    out << _(kUsage);
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
