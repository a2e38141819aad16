#include "run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "catalog.h"
#include "command_line.h"
#include "report.h"

namespace kovrad::cli {
namespace {

// The file --salvar names, made ready before the device is asked anything:
// a sale must not be made only to find that its coupon has nowhere to go. The
// document goes to a temporary file beside it first, so an existing file is
// replaced only by a complete document.
class PendingFile {
 public:
  ~PendingFile() { Discard(); }

  bool Open(const std::string& path, std::string* problem) {
    path_ = path;
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
      *problem = path + ": " + std::strerror(EISDIR);
      return false;
    }
    temporary_ = path + ".XXXXXX";
    fd_ = mkstemp(temporary_.data());
    if (fd_ < 0) {
      *problem = path + ": " + std::strerror(errno);
      return false;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
    return true;
  }

  bool Commit(const std::string& contents, std::string* problem) {
    size_t done = 0;
    while (done < contents.size()) {
      const ssize_t n = write(fd_, contents.data() + done, contents.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Failed(problem);
      done += static_cast<size_t>(n);
    }
    if (fsync(fd_) != 0) return Failed(problem);
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0 || rename(temporary_.c_str(), path_.c_str()) != 0) return Failed(problem);
    temporary_.clear();
    return true;
  }

  void Discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
  }

 private:
  bool Failed(std::string* problem) {
    *problem = path_ + ": " + std::strerror(errno);
    Discard();
    return false;
  }

  std::string path_, temporary_;
  int fd_ = -1;
};

// Every run its own session number: a device keeps the replies of recent
// sessions by number, and the library's generator starts over in each process.
int32_t RandomSession() {
  std::random_device source;
  return std::uniform_int_distribution<int32_t>(1, kMaxSession)(source);
}

Outcome CallByName(std::string_view name, manager::Library& library, int32_t session,
                   const Arguments& arguments) {
  return FindFunction(name)->call(library, session, arguments);
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Invocation invocation;
  std::string problem;
  if (!ParseCommandLine(args, &invocation, &problem)) {
    err << "satcli: " << problem << "\n";
    return static_cast<int>(Status::kUsage);
  }
  if (invocation.action == Invocation::Action::kHelp) {
    out << (invocation.function != nullptr ? FunctionHelp(*invocation.function) : UsageText());
    return static_cast<int>(Status::kSuccess);
  }
  if (invocation.action == Invocation::Action::kVersion) {
    out << "satcli " KOVRAD_VERSION "\n";
    return static_cast<int>(Status::kSuccess);
  }

  PendingFile document_file;
  const bool saving = !invocation.save_to.empty();
  if (saving && !document_file.Open(invocation.save_to, &problem)) {
    err << "satcli: --salvar " << problem << "\n";
    return static_cast<int>(Status::kUsage);
  }

  manager::Library library(invocation.library ? std::vector<std::string>{*invocation.library}
                                              : manager::Library::DefaultCandidates());
  if (invocation.port) {
    Arguments port(1);
    port.SetNumber(0, *invocation.port);
    const Outcome selected = CallByName("AbreSerialSAT", library, 0, port);
    if (!selected.called || selected.status != Status::kSuccess) {
      err << "satcli: "
          << (selected.called ? "the library refused port " + std::to_string(*invocation.port)
                              : selected.problem)
          << "\n";
      return static_cast<int>(selected.called ? Status::kUsage : Status::kLinkError);
    }
  }

  Report report;
  report.function = invocation.function;
  report.session = invocation.session.value_or(RandomSession());
  report.outcome = invocation.function->call(library, report.session, invocation.arguments);
  if (!report.outcome.called) {
    err << "satcli: " << report.outcome.problem << "\n";
    return static_cast<int>(Status::kLinkError);
  }
  if (invocation.function->exchange) {
    report.record = library.ErrorRecord(&problem);
    if (!report.record) err << "satcli: " << problem << "\n";
  }
  // Fetched before anything is printed, while the library still holds it.
  const Outcome document =
      saving ? CallByName("Base64ToAscii", library, 0, Arguments()) : Outcome();

  Status status = Judge(report);
  out << (invocation.json ? JsonReport(report) : PlainReport(report));
  out.flush();
  if (!saving) return static_cast<int>(status);

  if (!document.called) {
    err << "satcli: " << document.problem << "\n";
    return static_cast<int>(Status::kLinkError);
  }
  if (document.text.empty()) {
    document_file.Discard();
    err << "satcli: the reply carried no document; " << invocation.save_to << " was not written\n";
  } else if (!document_file.Commit(document.text, &problem)) {
    err << "satcli: the document could not be saved: " << problem << "\n";
    if (status == Status::kSuccess) status = Status::kRefused;
  }
  return static_cast<int>(status);
}

}  // namespace kovrad::cli
