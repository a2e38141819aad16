#include "command_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>

#include "client/text.h"
#include "i18n/messages.h"

namespace kovrad::cli {
namespace {

using i18n::Fill;

constexpr char kGlobalOptions[] =
    N_("  --biblioteca PATH  the device library to load (default: the one installed; also --lib)\n"
       "  --sessao N         session number, 0 to 999999 (default: drawn, never one of the last\n"
       "                     100 used; also --session)\n"
       "  --porta N          use port ttyACM<N> instead of finding the device on USB\n"
       "  --json             print the reply split into named fields, and the record, as JSON\n"
       "  --salvar FILE      write the decoded document (coupon or log) to FILE, a regular file\n"
       "  --arquivo DB       keep each sale's and cancellation's coupon in the archive DB\n"
       "                     (default: $XDG_DATA_HOME/kovrad/cfe.db; see \"satcli arquivo\")\n");

// Taken by satcli's extrato part before the call (see extrato.h).
constexpr char kExtratoOption[] = N_(
    "  --extrato FILE     EnviarDadosVenda and CancelarUltimaVenda: also render the coupon made\n"
    "                     as its extrato to FILE (.png, .pdf or .txt)\n");

bool IssuesCoupon(const Function& function) {
  return function.name == "EnviarDadosVenda" || function.name == "CancelarUltimaVenda";
}

constexpr char kExitStatus[] =
    N_("Exit status:\n"
       "  0  the device answered with the function's success code (a sale whose reply was lost:\n"
       "     it was made, and its coupon recovered)\n"
       "  1  the device refused, or the library refused the call\n"
       "  2  no answer: the port, the device or the library could not be reached\n"
       "  3  bad usage: nothing was sent\n"
       "  4  a sale's reply was lost and the device made nothing: it may be sent again\n"
       "  5  a sale's reply was lost and what the device did is unknown: do NOT send it again;\n"
       "     ask later with ConsultarNumeroSessao --numero <its session>\n"
       "  6  the reply carries another session's number\n"
       "  7  the call succeeded but --salvar could not write the document, or its coupon\n"
       "     could not be archived\n");

// The option names, and the spellings kept from earlier versions.
std::string Canonical(const std::string& name) {
  if (name == "--lib") return "--biblioteca";
  if (name == "--session") return "--sessao";
  return name;
}

std::string Placeholder(Kind kind) {
  switch (kind) {
    case Kind::kInteger:
      return "N";
    case Kind::kText:
      return "TEXT";
    case Kind::kDocument:
      return "FILE";
  }
  return {};
}

std::string Synopsis(const Function& function) {
  std::string line = "satcli [OPTIONS] " + std::string(function.name);
  for (const Parameter& p : function.parameters) {
    line += " --" + std::string(p.name) + " " + Placeholder(p.kind);
  }
  return line;
}

// "--name=value" or "--name": the name, and the value when it is inline.
std::pair<std::string, std::optional<std::string>> SplitOption(const std::string& arg) {
  const size_t equals = arg.find('=');
  if (!arg.starts_with("--") || equals == std::string::npos) return {arg, std::nullopt};
  return {arg.substr(0, equals), arg.substr(equals + 1)};
}

class Parser {
 public:
  Parser(const std::vector<std::string>& args, Invocation* invocation, std::string* problem)
      : args_(args), inv_(*invocation), problem_(*problem) {}

  bool Parse() {
    bool help_word = false;
    for (next_ = 0; next_ < args_.size();) {
      const auto [given, inline_value] = SplitOption(args_[next_++]);
      const std::string name = Canonical(given);
      inline_ = inline_value;
      if (name == "--help" || name == "-h") {
        inv_.action = Invocation::Action::kHelp;
        return true;
      }
      if (name == "--version") {
        inv_.action = Invocation::Action::kVersion;
        return true;
      }
      if (name == "--json") {
        inv_.json = true;
      } else if (name == "--biblioteca" || name == "--sessao" || name == "--porta" ||
                 name == "--salvar" || name == "--arquivo") {
        if (!Global(name)) return false;
      } else if (inv_.function == nullptr && !name.starts_with("-")) {
        if (name == "help" && !help_word) {
          help_word = true;
          continue;
        }
        inv_.function = FindFunction(name);
        if (inv_.function == nullptr) {
          return Fail(Fill(_("unknown function {1} (\"satcli help\" lists them)"), {name}));
        }
        inv_.arguments = Arguments(inv_.function->parameters.size());
        given_.assign(inv_.function->parameters.size(), false);
      } else if (inv_.function != nullptr && name.starts_with("--")) {
        if (!Argument(name.substr(2))) return false;
      } else {
        return Fail(Fill(_("unexpected argument {1}"), {name}));
      }
    }
    if (help_word) {
      inv_.action = Invocation::Action::kHelp;
      return true;
    }
    return Complete();
  }

 private:
  bool Fail(std::string message) {
    problem_ = std::move(message);
    return false;
  }

  bool Value(const std::string& name, std::string* value) {
    if (inline_) {
      *value = *inline_;
      return true;
    }
    if (next_ >= args_.size()) return Fail(Fill(_("{1} needs a value"), {name}));
    *value = args_[next_++];
    return true;
  }

  bool Number(const std::string& name, int64_t low, int64_t high, int64_t* number) {
    std::string value;
    if (!Value(name, &value)) return false;
    if (ParseNumber(value, low, high, number)) return true;
    return Fail(Fill(_("{1} takes a whole number from {2} to {3}, not \"{4}\""),
                     {name, std::to_string(low), std::to_string(high), value}));
  }

  bool Global(const std::string& name) {
    int64_t number = 0;
    if (name == "--biblioteca") {
      std::string path;
      if (!Value(name, &path)) return false;
      if (path.empty()) return Fail(Fill(_("{1} needs a file"), {name}));
      if (path.find('/') != std::string::npos && access(path.c_str(), R_OK) != 0) {
        return Fail(name + " " + path + ": " + std::strerror(errno));
      }
      inv_.library = path;
    } else if (name == "--sessao") {
      if (!Number(name, 0, kMaxSession, &number)) return false;
      inv_.session = static_cast<int32_t>(number);
    } else if (name == "--porta") {
      // The library judges the port's name itself: a number too long for it
      // is reported as its refusal.
      if (!Number(name, 0, INT32_MAX, &number)) return false;
      inv_.port = static_cast<int32_t>(number);
    } else if (name == "--arquivo") {
      if (!Value(name, &inv_.archive)) return false;
      if (inv_.archive.empty()) return Fail(Fill(_("{1} needs a file"), {"--arquivo"}));
    } else {
      if (!Value(name, &inv_.save_to)) return false;
      if (inv_.save_to.empty()) return Fail(Fill(_("{1} needs a file"), {"--salvar"}));
    }
    return true;
  }

  bool Argument(const std::string& name) {
    const auto& parameters = inv_.function->parameters;
    const auto found = std::find_if(parameters.begin(), parameters.end(),
                                    [&name](const Parameter& p) { return p.name == name; });
    const std::string option = "--" + name;
    if (found == parameters.end()) {
      return Fail(Fill(_("{1} takes no {2} (\"satcli help {1}\")"), {inv_.function->name, option}));
    }
    const auto index = static_cast<size_t>(found - parameters.begin());
    if (given_[index]) return Fail(Fill(_("{1} given twice"), {option}));
    given_[index] = true;
    int64_t number = 0;
    std::string value;
    switch (found->kind) {
      case Kind::kInteger:
        if (!Number(option, INT32_MIN, INT32_MAX, &number)) return false;
        inv_.arguments.SetNumber(index, static_cast<int32_t>(number));
        return true;
      case Kind::kText: {
        std::string staged;
        if (!Value(option, &value)) return false;
        if (!StageText(value, &staged)) {
          return Fail(Fill(_("{1}: a character that Windows-1252 cannot hold"), {option}));
        }
        inv_.arguments.SetText(index, std::move(staged));
        return true;
      }
      case Kind::kDocument: {
        std::string contents, problem;
        if (!Value(option, &value)) return false;
        if (!ReadDocument(value, &contents, &problem)) return Fail(option + ": " + problem);
        inv_.arguments.SetText(index, std::move(contents));
        return true;
      }
    }
    return false;
  }

  bool Complete() {
    if (inv_.function == nullptr) return Fail(_("no function given (\"satcli help\" lists them)"));
    std::string missing;
    for (size_t i = 0; i < given_.size(); ++i) {
      if (!given_[i]) missing += " --" + std::string(inv_.function->parameters[i].name);
    }
    if (!missing.empty()) {
      return Fail(Fill(_("{1} needs {2}"), {inv_.function->name, missing.substr(1)}));
    }
    if (!inv_.save_to.empty() && !inv_.function->document) {
      return Fail(_("--salvar goes with ExtrairLogs, EnviarDadosVenda or CancelarUltimaVenda"));
    }
    return true;
  }

  const std::vector<std::string>& args_;
  Invocation& inv_;
  std::string& problem_;
  size_t next_ = 0;
  std::optional<std::string> inline_;
  std::vector<bool> given_;
};

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, Invocation* invocation,
                      std::string* problem) {
  *invocation = Invocation();
  return Parser(args, invocation, problem).Parse();
}

bool ParseNumber(std::string_view text, int64_t low, int64_t high, int64_t* number) {
  if (text.starts_with('+')) text.remove_prefix(1);
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return false;
  if (value < low || value > high) return false;
  *number = value;
  return true;
}

bool StageText(std::string_view typed, std::string* staged) {
  if (!client::IsValidUtf8(typed)) {
    *staged = typed;
    return true;
  }
  *staged = client::ToCp1252(typed);
  return client::FromCp1252(*staged) == typed;
}

bool ReadDocument(const std::string& path, std::string* contents, std::string* problem) {
  const bool standard_input = path == "-";
  const int fd = standard_input ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) {
    *problem = path + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  contents->clear();
  bool read_all = !S_ISDIR(info.st_mode);
  char buffer[65536];
  // One byte past the limit tells a document that is too long; a device
  // file such as /dev/zero is never read to its (missing) end.
  while (read_all && contents->size() <= kDocumentMax) {
    const size_t want = std::min(sizeof buffer, kDocumentMax + 1 - contents->size());
    const ssize_t n = read(fd, buffer, want);
    if (n > 0) {
      contents->append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      read_all = false;
    }
  }
  const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
  if (!standard_input) close(fd);
  if (!read_all) {
    *problem = path + ": " + std::strerror(error);
    return false;
  }
  if (contents->size() > kDocumentMax) {
    *problem = Fill(_("{1} holds more than {2} bytes, more than a document sent to the device "
                      "may hold"),
                    {path, std::to_string(kDocumentMax)});
    return false;
  }
  if (contents->find('\0') != std::string::npos) {
    *problem = Fill(_("{1} holds a zero byte: it is not a text document"), {path});
    return false;
  }
  return true;
}

size_t CommandIndex(const std::vector<std::string>& args) {
  size_t i = 0;
  while (i < args.size()) {
    const auto [given, inline_value] = SplitOption(args[i]);
    const std::string name = Canonical(given);
    if (name == "--json") {
      ++i;
    } else if (name == "--biblioteca" || name == "--sessao" || name == "--porta" ||
               name == "--salvar" || name == "--arquivo") {
      i += inline_value ? 1 : 2;
    } else {
      break;
    }
  }
  return std::min(i, args.size());
}

std::string UsageText() {
  std::string text =
      _("usage: satcli [OPTIONS] FUNCTION --ARGUMENT VALUE...\n"
        "       satcli help [FUNCTION]\n"
        "       satcli extrato COUPON --png FILE | --pdf FILE | --texto | --escpos DEVICE\n"
        "                             (\"satcli help extrato\": the coupon's printed extrato)\n"
        "       satcli venda [--verificar] [--codigo CODE] SALE.json\n"
        "       satcli cancelar [--verificar] [--codigo CODE] KEY SALE.json\n"
        "                             (a sale from its JSON, checked before it is sent)\n"
        "\n"
        "Calls one function of the SAT device library and prints the reply, then the link\n"
        "error record (CodigoErro).\n"
        "\n"
        "Options:\n");
  text += _(kGlobalOptions);
  text += _(kExtratoOption);
  text += _("\nSAT functions:\n");
  std::string vendor = _("\nLibrary functions:\n");
  for (const Function& f : Functions()) {
    std::string& list = f.IsSatFunction() ? text : vendor;
    std::string name = "  " + std::string(f.name);
    name.resize(std::max<size_t>(name.size() + 2, 34), ' ');
    list += name + std::string(Brief(f)) + "\n";
  }
  return text + vendor + "\n" + _(kExitStatus) +
         _("\n\"satcli help FUNCTION\" describes a function and its arguments.\n");
}

std::string FunctionHelp(const Function& function) {
  std::ostringstream text;
  text << _("usage: ") << Synopsis(function) << "\n\n" << function.summary << "\n";
  if (!function.parameters.empty()) text << "\n";
  for (const Parameter& p : function.parameters) {
    std::string option = "--" + std::string(p.name) + " " + Placeholder(p.kind);
    option.resize(std::max<size_t>(option.size() + 2, 22), ' ');
    text << "  " << option << p.help;
    if (p.kind == Kind::kDocument) text << _(", read from FILE (\"-\": standard input)");
    text << "\n";
  }
  if (function.IsSatFunction()) {
    text << _("\nReply fields (--json):");
    for (std::string_view name : client::FieldNames(function.sat->layout)) text << " " << name;
    text << _("\nSuccess: ");
    if (function.PassesThrough()) {
      text << _("the session's stored reply, whatever its code");
    } else {
      for (size_t i = 0; i < function.sat->success.size(); ++i) {
        text << (i > 0 ? _(" or ") : "") << function.sat->success[i];
      }
    }
    text << Fill(_("\nTime limit: {1} s\n"), {std::to_string(function.TimeLimitMs() / 1000)});
  }
  text << _("\nOptions:\n") << _(kGlobalOptions);
  if (IssuesCoupon(function)) text << _(kExtratoOption);
  return text.str();
}

}  // namespace kovrad::cli
