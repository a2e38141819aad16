#include "run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "archive_command.h"
#include "catalog.h"
#include "client/port_check.h"
#include "client/recovery.h"
#include "command_line.h"
#include "i18n/messages.h"
#include "report.h"

namespace kovrad::cli {
namespace {

using i18n::Fill;

// The file --salvar names, made ready before the device is asked anything:
// a sale must not be made only to find that its coupon has nowhere to go. The
// document goes to a temporary file beside it first, so an existing file is
// replaced only by a complete document.
class PendingFile {
 public:
  ~PendingFile() { Discard(); }

  bool Open(const std::string& path, std::string* problem) {
    path_ = path;
    // Only a regular file is replaced: the rename would put a file in place
    // of a device, a FIFO or a symbolic link.
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
      *problem = path + ": " +
                 (S_ISDIR(existing.st_mode) ? std::strerror(EISDIR) : _("not a regular file"));
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

// Every run its own session number, none of the last ones used: a device
// keeps the replies of recent sessions by number.
int32_t SessionFor(const Invocation& invocation, std::ostream& err) {
  client::SessionStore store(client::SessionStore::DefaultPath());
  std::string problem;
  int32_t session = invocation.session.value_or(0);
  const bool kept =
      invocation.session ? store.Record(session, &problem) : store.Draw(&session, &problem);
  if (!kept) {
    err << "satcli: "
        << Fill(_("the recent session numbers could not be kept ({1}); a later run may repeat "
                  "this one's"),
                {problem})
        << "\n";
  }
  return session;
}

Outcome CallByName(std::string_view name, client::Library& library, int32_t session,
                   const Arguments& arguments) {
  return FindFunction(name)->call(library, session, arguments);
}

// The port given with --porta, selected in the library; false (with the
// exit status) when it cannot be.
bool SelectPort(client::Library& library, int32_t number, std::ostream& err, Status* status) {
  Arguments port(1);
  port.SetNumber(0, number);
  const Outcome selected = CallByName("AbreSerialSAT", library, 0, port);
  if (!selected.called) {
    err << "satcli: " << selected.problem << "\n";
    *status = Status::kLinkError;
    return false;
  }
  if (selected.status == Status::kSuccess) return true;
  err << "satcli: "
      << Fill(_("port name refused: the library takes port names of at most 9 characters, "
                "ttyACM0 to ttyACM999, not ttyACM{1}"),
              {std::to_string(number)})
      << "\n";
  *status = Status::kUsage;
  return false;
}

double Seconds(std::chrono::steady_clock::duration elapsed) {
  return std::chrono::duration<double>(elapsed).count();
}

constexpr char kCableHint[] = N_("Check the cable, then the device with ConsultarSAT.");

// A link failure in words: what happened, and what to do about it; empty for
// the other codes. A sale's time-out leaves the cable out: the device is asked
// next what it did, and its answer tells whether the link works.
std::string LinkFailure(const Invocation& invocation, int32_t code, double elapsed,
                        bool settled_next) {
  const std::string name(invocation.function->name);
  if (code == __NOCONNECT__) {
    return Fill(_("{1}: the port could not be opened: {2}"),
                {name, client::DiagnosePort(invocation.port)});
  }
  if (code == __TIMEOUT__) {
    char waited[32];
    std::snprintf(waited, sizeof waited, "%.1f", elapsed);
    const std::string limit = std::to_string(invocation.function->TimeLimitMs() / 1000);
    return Fill(_("{1}: no reply within its time limit of {2} s (waited {3} s)."),
                {name, limit, waited}) +
           (settled_next ? "" : std::string(" ") + _(kCableHint));
  }
  if (code == __SEMCTS__) {
    return Fill(_("{1}: the request could not be written to the port: {2}"),
                {name, client::DiagnosePort(invocation.port)});
  }
  return {};
}

// A sale or cancellation whose reply was lost: the device is asked what it did.
client::Recovery Recover(client::Library& library, const Invocation& invocation,
                         const Report& report, std::ostream& err) {
  const std::string name(invocation.function->name);
  err << "satcli: "
      << Fill(_("the reply to {1} (session {2}) was lost; asking the device what it did "
                "(ConsultarNumeroSessao)"),
              {name, std::to_string(report.session)})
      << "\n";
  const client::Recovery recovery = client::RecoverSale(
      name, report.session, [&err] { return SessionFor(Invocation(), err); },
      client::LookupThrough(library, invocation.arguments.TextString(0)));
  switch (recovery.fate) {
    case client::SaleFate::kMade:
      err << "satcli: " << _("the device made it: its stored reply follows; do not send it again")
          << "\n";
      break;
    case client::SaleFate::kRefused:
      err << "satcli: " << _("the device refused it: no coupon was made") << "\n";
      break;
    case client::SaleFate::kNotMade:
      err << "satcli: " << _("the device never got it: nothing was made, it may be sent again")
          << "\n";
      break;
    case client::SaleFate::kUnknown:
      err << "satcli: "
          << Fill(_("what the device did is unknown ({1}). Do NOT send it again: ask later with "
                    "satcli ConsultarNumeroSessao --codigo CODE --numero {2}"),
                  {recovery.reason, std::to_string(report.session)})
          << "\n";
      break;
  }
  if (recovery.fate == client::SaleFate::kUnknown && report.record->code == __TIMEOUT__) {
    err << "satcli: " << _(kCableHint) << "\n";
  }
  return recovery;
}

// Writes the document: the recovered coupon, or what Base64ToAscii hands over.
Status SaveDocument(const Invocation& invocation, const Report& report, const Outcome& document,
                    PendingFile& file, Status status, std::ostream& err) {
  std::string problem;
  if (!document.called) {
    err << "satcli: " << document.problem << "\n";
    return status == Status::kSuccess ? Status::kNotSaved : status;
  }
  if (document.text.empty()) {
    file.Discard();
    err << "satcli: "
        << Fill(_("the reply carried no document; {1} was not written"), {invocation.save_to})
        << "\n";
    const bool made = report.recovery && report.recovery->fate == client::SaleFate::kMade;
    return made ? Status::kNotSaved : status;
  }
  if (!file.Commit(document.text, &problem)) {
    // The call itself stands: a sale made is never reported as refused.
    err << "satcli: " << Fill(_("the document could not be saved: {1}"), {problem}) << "\n";
    if (status == Status::kSuccess) return Status::kNotSaved;
  }
  return status;
}

void ReplaceDocument(Invocation& invocation, const std::string& document) {
  const auto& parameters = invocation.function->parameters;
  for (size_t i = 0; i < parameters.size(); ++i) {
    if (parameters[i].kind == Kind::kDocument) invocation.arguments.SetText(i, document);
  }
}

// The coupon a sale or cancellation made, into the archive; a coupon that
// cannot be kept is said, and turns success into exit status 7.
Status KeepCoupon(const Invocation& invocation, const Report& report, Status status,
                  std::ostream& err) {
  const bool made = report.recovery && report.recovery->fate == client::SaleFate::kMade;
  if (!made && status != Status::kSuccess) return status;
  const std::string path = invocation.archive.empty() ? DefaultArchivePath() : invocation.archive;
  std::string problem;
  const Kept kept =
      ArchiveReply(path, made ? report.recovery->reply : report.outcome.text, &problem);
  if (kept != Kept::kYes) err << "satcli: " << problem << "\n";
  return kept == Kept::kNo && status == Status::kSuccess ? Status::kNotSaved : status;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const std::string* built) {
  Invocation invocation;
  std::string problem;
  if (!ParseCommandLine(args, &invocation, &problem)) {
    err << "satcli: " << problem << "\n";
    return static_cast<int>(Status::kUsage);
  }
  if (built != nullptr) ReplaceDocument(invocation, *built);
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

  client::Library library(invocation.library ? std::vector<std::string>{*invocation.library}
                                             : client::Library::DefaultCandidates());
  Status status = Status::kSuccess;
  if (invocation.port && !SelectPort(library, *invocation.port, err, &status)) {
    return static_cast<int>(status);
  }

  const Function& function = *invocation.function;
  Report report;
  report.function = &function;
  // The SAT functions and the two that query the device's status send one.
  if (function.IsSatFunction() || function.name.ends_with("PortaSAT")) {
    report.session = SessionFor(invocation, err);
  }
  if (function.PassesThrough()) report.looked_up = invocation.arguments.Number(1);
  const auto started = std::chrono::steady_clock::now();
  report.outcome = function.call(library, report.session, invocation.arguments);
  const double elapsed = Seconds(std::chrono::steady_clock::now() - started);
  if (!report.outcome.called) {
    err << "satcli: " << report.outcome.problem << "\n";
    return static_cast<int>(Status::kLinkError);
  }
  if (function.exchange) {
    report.record = library.ErrorRecord(&problem);
    if (!report.record) err << "satcli: " << problem << "\n";
  }
  // Fetched before anything else is called, while the library still holds it.
  Outcome document = saving ? CallByName("Base64ToAscii", library, 0, Arguments()) : Outcome();

  if (report.record) {
    const bool uncertain = client::OutcomeUncertain(function.name, report.session,
                                                    report.record->code, report.outcome.text);
    report.diagnosis = LinkFailure(invocation, report.record->code, elapsed, uncertain);
    if (!report.diagnosis.empty()) err << "satcli: " << report.diagnosis << "\n";
    if (uncertain) {
      report.recovery = Recover(library, invocation, report, err);
      document.text = report.recovery->coupon;
    } else if (FromOtherSession(report)) {
      err << "satcli: "
          << Fill(_("the reply carries another session's number, not {1}: it answers an earlier "
                    "request"),
                  {std::to_string(report.session)})
          << "\n";
    }
  }

  status = Judge(report);
  out << (invocation.json ? JsonReport(report) : PlainReport(report));
  out.flush();
  status = KeepCoupon(invocation, report, status, err);
  if (!saving) return static_cast<int>(status);
  return static_cast<int>(SaveDocument(invocation, report, document, document_file, status, err));
}

}  // namespace kovrad::cli
