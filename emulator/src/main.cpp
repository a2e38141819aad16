// satemu: an emulated SAT device on a pseudo-terminal, for developers, tests
// and operators who have no device at hand.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "device.h"
#include "faults.h"
#include "i18n/messages.h"
#include "link.h"
#include "options.h"
#include "publication.h"
#include "signing_key.h"
#include "state.h"
#include "store.h"
#include "text.h"

namespace satemu {
namespace {

using kovrad::i18n::Fill;

// A frame left unfinished this long never will be: the search moves on.
constexpr int kQuietMs = 250;
constexpr size_t kReadSize = 65536;

using Logger = std::function<void(const std::string&)>;

// Written by the signal handler; readable from then on, so every wait ends.
int stop_pipe[2] = {-1, -1};

void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 1;
  (void)!write(stop_pipe[1], &byte, 1);
  errno = saved;
}

void InstallSignals() {
  if (pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int stop : {SIGINT, SIGTERM, SIGHUP}) sigaction(stop, &action, nullptr);
  action.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &action, nullptr);
}

// Safe to `eval` in a shell.
std::string ShellQuoted(const std::string& text) {
  const bool plain = !text.empty() && text.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789/._-+:@%,") == std::string::npos;
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

DeviceState NewDevice(const Options& options) {
  DeviceState state;
  if (options.kit) MakeKit(&state, std::time(nullptr));
  return state;
}

class Emulator {
 public:
  Emulator(const Options& options, Device& device, Store& store, const Logger& log)
      : options_(options), device_(device), store_(store), log_(log) {}

  // Answers request frames until a stop signal; false on a failure of the
  // pseudo-terminal itself.
  bool Serve(int master) {
    FrameReader reader(log_);
    Bytes buffer(kReadSize);
    for (;;) {
      pollfd p[2] = {{stop_pipe[0], POLLIN, 0}, {master, POLLIN, 0}};
      const int ready = poll(p, 2, reader.Pending() ? kQuietMs : -1);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return Failed("poll");
      if (p[0].revents != 0) return true;
      if (ready == 0) {
        reader.Abandon();
      } else if ((p[1].revents & POLLIN) != 0) {
        const ssize_t n = read(master, buffer.data(), buffer.size());
        if (n < 0 && errno != EAGAIN && errno != EINTR) return Failed("read");
        if (n > 0) reader.Feed(buffer.data(), static_cast<size_t>(n));
      } else if ((p[1].revents & (POLLHUP | POLLERR)) != 0) {
        log_(_("the pseudo-terminal went away"));
        return false;
      }
      while (auto frame = reader.Next()) Answer(master, *frame);
      store_.Tidy();
    }
  }

 private:
  bool Failed(const char* what) {
    log_(std::string(what) + ": " + std::strerror(errno));
    return false;
  }

  void Answer(int master, const RequestFrame& frame) {
    const Device::Outcome outcome = device_.Handle(frame.text);
    if (!store_.error().empty() && store_.error() != last_error_)
      log_(Fill(_("state not saved: {1}"), {store_.error()}));
    last_error_ = store_.error();
    const bool faulty = options_.fault.AppliesTo(outcome.function);
    if (options_.verbose) {
      log_(Printable(outcome.function, 64) + " -> " + outcome.reply.code +
           (faulty ? _(" (with the fault)") : ""));
    }
    std::string problem;
    if (!SendPlan(master,
                  PlanReply(faulty ? options_.fault : Fault{}, outcome.reply.line, frame.sequence),
                  stop_pipe[0], &problem)) {
      log_(problem);
    }
  }

  const Options& options_;
  Device& device_;
  Store& store_;
  Logger log_;
  std::string last_error_;
};

int Run(const Options& options) {
  const std::string tty = "ttyACM" + std::to_string(options.port);
  const Logger log = [tty](const std::string& message) {
    std::fprintf(stderr, "satemu %s: %s\n", tty.c_str(), message.c_str());
  };
  try {
    InstallSignals();
    std::filesystem::create_directories(std::filesystem::path(options.dir) / "run");
    const FileLock port_lock(options.dir + "/run/" + tty + ".lock", "port " + tty);
    const FileLock state_lock(options.state_file + ".lock", "state file " + options.state_file);

    DeviceState state;
    Device device(state, options.serial);
    bool found = false;
    std::string problem;
    const std::unique_ptr<Store> store =
        Store::Open(options.state_file, &state, &device.history(), &found, &problem);
    if (!store) {
      log(Fill(_("cannot start: {1}"), {problem}));
      return 1;
    }
    if (!found) {
      state = NewDevice(options);
    } else if (options.kit) {
      log(Fill(_("--kit applies to a new device; {1} holds one already"), {options.state_file}));
    }
    if (!options.emergency_code.empty()) state.emergency_code = options.emergency_code;
    if (state.emergency_code.empty()) state.emergency_code = kDefaultEmergencyCode;
    if (options.lock >= 0) state.lock = options.lock;
    const std::time_t now = std::time(nullptr);
    if (options.certificate_days) {
      state.certificate_expires = DateStamp(now + *options.certificate_days * std::time_t{86400});
    }
    if (options.transmission_hours) {
      state.last_transmission = Timestamp(now - *options.transmission_hours * std::time_t{3600});
    }
    if (options.transmission_hours || options.pending) {
      device.HoldTransmission(static_cast<uint64_t>(options.pending.value_or(0)));
    }

    // Coupons are signed with this key; its certificate verifies them.
    const auto key = SigningKey::LoadOrMake(SigningKeyPrefix(options), options.serial, &problem);
    if (!key) {
      log(Fill(_("no signing key: {1}"), {problem}));
      return 1;
    }
    device.set_signing_key(key.get());
    device.set_store(store.get());
    device.set_unique_sessions(options.unique_sessions);
    device.Record("INICIO", "equipamento ligado em " + tty);
    if (!device.Commit()) {
      log(Fill(_("state not saved: {1}"), {store->error()}));
      return 1;
    }
    Emulator emulator(options, device, *store, log);

    const Publication publication(options.dir, options.port, options.serial);
    std::printf("KOVRAD_DEV_DIR=%s KOVRAD_SYSFS_DIR=%s\n",
                ShellQuoted(publication.dev_dir()).c_str(),
                ShellQuoted(publication.sys_dir()).c_str());
    std::fflush(stdout);
    return emulator.Serve(publication.master()) ? 0 : 1;
  } catch (const std::exception& e) {
    log(e.what());
    return 1;
  }
}

}  // namespace
}  // namespace satemu

int main(int argc, char** argv) {
  kovrad::i18n::UseMessages("satemu");
  satemu::Options options;
  std::string message;
  switch (
      satemu::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &message)) {
    case satemu::Parsed::kHelp:
      std::fputs(_(satemu::kUsage), stdout);
      return 0;
    case satemu::Parsed::kVersion:
      std::fputs(satemu::kVersionText, stdout);
      return 0;
    case satemu::Parsed::kError:
      std::fprintf(stderr, "satemu: %s\n\n%s", message.c_str(), _(satemu::kUsage));
      return 2;
    case satemu::Parsed::kRun:
      break;
  }
  return satemu::Run(options);
}
