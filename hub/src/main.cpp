// kovrad-hub: the SAT devices of this machine served over HTTP.
//
//   kovrad-hub [--config FILE]            the hub (default /etc/kovrad/kovrad-hub.toml)
//   kovrad-hub [--config FILE] preparar   makes the ledger the configuration names
//   kovrad-hub [--config FILE] verificar  whether the configuration is ready to serve
//   kovrad-hub [--config FILE] exportar --mes AAAA-MM [--cnpj CNPJ] --saida FILE.zip
//                                         the month's bundle for the accountant
//   kovrad-hub --worker FD PORT           one device's worker, started by the hub
//   kovrad-hub central preparar           the chain's central database made ready
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "central.h"
#include "chain.h"
#include "config.h"
#include "device.h"
#include "export_command.h"
#include "http_server.h"
#include "i18n/messages.h"
#include "ledger.h"
#include "log.h"
#include "metrics.h"
#include "routes.h"
#include "service.h"
#include "worker.h"

namespace kovrad::hub {
namespace {

using i18n::Fill;

constexpr char kUsage[] =
    N_("usage: kovrad-hub [--config FILE] [preparar | verificar]\n"
       "       kovrad-hub [--config FILE] exportar --mes YYYY-MM [--cnpj CNPJ] --saida FILE.zip\n"
       "       kovrad-hub central preparar [--config FILE]\n"
       "       kovrad-hub --version\n"
       "\n"
       "Serves this computer's SAT devices to the store's tills over HTTP. The configuration\n"
       "(TOML, default /etc/kovrad/kovrad-hub.toml) names the address, the devices, the tills,\n"
       "the tokens and the ledger, which also keeps every CF-e made. Once ready, it writes\n"
       "KOVRAD_HUB_URL=<url> on its output.\n"
       "\n"
       "  preparar   makes the ledger (once, when installing)\n"
       "  verificar  says whether the configuration is ready to serve\n"
       "  exportar   writes the month's bundle for the accountant (the XML files and the\n"
       "             summary in CSV and PDF)\n");

// Exit statuses: 2 for what only the administrator can mend (the service
// is not started again for it), 1 for what may pass (a full disk).
constexpr int kNeedsAdministrator = 2;

// Tokens that cross the network in clear can be read by anyone on it.
void WarnOfPlainTokens(const Config& config) {
  if (!config.tls_certificate.empty() || IsLoopback(config.address)) return;
  if (config.tokens.empty() && config.administrators.empty()) return;
  Log(Level::kWarning,
      Fill(_("WARNING: the tills' and administrators' tokens cross the network at {1} "
             "unencrypted: anyone on the store's network can read them. Set tls_certificado "
             "and tls_chave."),
           {config.address}));
}

// The configuration, read and ready to serve: with an activation code for
// every device (the sample configuration has none).
std::optional<Config> ReadyConfig(const std::string& path) {
  std::string error;
  auto config = LoadConfig(path, &error);
  if (!config) {
    Log(Level::kError, Fill(_("configuration: {1}"), {error}));
    return std::nullopt;
  }
  const bool every_device_has_one =
      !config->devices.empty() &&
      std::all_of(config->devices.begin(), config->devices.end(),
                  [](const DeviceConfig& d) { return !d.activation_code.empty(); });
  if (config->activation_code.empty() && !every_device_has_one) {
    Log(Level::kError,
        Fill(_("configuration: {1} has no codigo_ativacao; write the device's activation code "
               "there and start the hub again (systemctl enable --now kovrad-hub)"),
             {path}));
    return std::nullopt;
  }
  WarnOfPlainTokens(*config);
  return config;
}

int Prepare(const std::string& config_path) {
  std::string error;
  const auto config = LoadConfig(config_path, &error);
  if (!config) {
    Log(Level::kError, Fill(_("configuration: {1}"), {error}));
    return kNeedsAdministrator;
  }
  if (access(config->database.c_str(), F_OK) == 0) {
    // An upgrade: the ledger is kept, and checked.
    if (!Ledger::Open(config->database, &error)) {
      Log(Level::kError, Fill(_("ledger: {1}"), {error}));
      return kNeedsAdministrator;
    }
    Log(Level::kNotice, Fill(_("ledger {1} exists already; kept"), {config->database}));
    return 0;
  }
  if (!Ledger::Create(config->database, &error)) {
    Log(Level::kError, Fill(_("ledger: {1}"), {error}));
    return kNeedsAdministrator;
  }
  Log(Level::kNotice, Fill(_("ledger {1} made"), {config->database}));
  return 0;
}

int Serve(const std::string& config_path) {
  std::string error;
  const auto config = ReadyConfig(config_path);
  if (!config) return kNeedsAdministrator;
  auto ledger = Ledger::Open(config->database, &error);
  if (!ledger) {
    Log(Level::kError, Fill(_("ledger: {1}"), {error}));
    // A ledger that cannot be written now may be once the disk has room.
    return access(config->database.c_str(), F_OK) == 0 ? 1 : kNeedsAdministrator;
  }
  // Lookups read the archive on a connection of their own, beside the
  // ledger's writes.
  const auto archive =
      archive::Archive::Open(config->database, archive::Archive::Mode::kExisting, &error);
  if (!archive) {
    Log(Level::kError, Fill(_("CF-e archive: {1}"), {error}));
    return 1;
  }
  std::vector<DeviceConfig> devices = config->devices;
  if (devices.empty()) {
    // The library traces discovery on standard output, which carries only
    // the ready line: its lines go to the log meanwhile.
    std::fflush(stdout);
    const int output = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    devices = DiscoverDevices(config->activation_code);
    std::fflush(stdout);
    dup2(output, STDOUT_FILENO);
    close(output);
  }
  for (const DeviceConfig& device : devices) {
    Log(Level::kInfo,
        Fill(_("SAT {1} on ttyACM{2}"), {device.serial, std::to_string(device.port)}));
  }
  if (devices.empty()) Log(Level::kWarning, _("no SAT device found"));

  // Signals are taken by sigwait below, never by a thread of the server.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  std::error_code ec;
  const std::string program = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  Metrics metrics;
  Service service(*config, ledger.get(), &metrics, devices, program);
  const Chain chain(*config, ledger.get(), &metrics, &service);
  service.RecoverUnfinished();
  const Hub hub{*config, service, metrics, &chain, archive.get()};
  HttpServer server([&hub](const HttpRequest& request) { return Route(hub, request); }, BodyLimit,
                    [&hub](const HttpRequest& request) { return Admit(hub, request); }, &metrics);
  if (!server.Start(*config, &error)) {
    Log(Level::kError, error);
    return 1;
  }
  const bool tls = !config->tls_certificate.empty();
  const std::string host = config->address.find(':') != std::string::npos
                               ? "[" + config->address + "]"
                               : config->address;
  const std::string url =
      (tls ? "https://" : "http://") + host + ":" + std::to_string(server.port());
  Log(Level::kNotice, Fill(_("listening on {1}"), {url}));
  std::printf("KOVRAD_HUB_URL=%s\n", url.c_str());
  std::fflush(stdout);

  int signal_number = 0;
  sigwait(&stop, &signal_number);
  Log(Level::kNotice, _("stopping"));
  return 0;
}

int RunWorkerMode(const char* fd, const char* port) {
  // The hub's blocked signals came along through exec.
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_UNBLOCK, &all, nullptr);
  // The library's trace lines belong in the log, not on the hub's output.
  dup2(STDERR_FILENO, STDOUT_FILENO);
  return RunWorker(std::atoi(fd), std::atoi(port));
}

}  // namespace
}  // namespace kovrad::hub

int main(int argc, char** argv) {
  kovrad::i18n::UseMessages("kovrad-hub");
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "--worker") {
    return kovrad::hub::RunWorkerMode(argv[2], argv[3]);
  }
  // The ledger and its journal hold the activation codes: the hub's files
  // are its own.
  umask(077);
  if (!args.empty() && args[0] == "central") return kovrad::hub::RunCentralCommand(args);
  std::string config = "/etc/kovrad/kovrad-hub.toml";
  std::string command;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(_(kovrad::hub::kUsage), stdout);
      return 0;
    }
    if (args[i] == "--version") {
      std::fputs("kovrad-hub " KOVRAD_VERSION "\n", stdout);
      return 0;
    }
    if (args[i] == "exportar") {
      return kovrad::hub::RunExport(config, {args.begin() + static_cast<long>(i) + 1, args.end()});
    }
    if (args[i] == "--config" && i + 1 < args.size()) {
      config = args[++i];
    } else if (command.empty() && (args[i] == "preparar" || args[i] == "verificar")) {
      command = args[i];
    } else {
      std::fputs(_(kovrad::hub::kUsage), stderr);
      return 2;
    }
  }
  if (command == "preparar") return kovrad::hub::Prepare(config);
  if (command == "verificar") return kovrad::hub::ReadyConfig(config) ? 0 : 2;
  signal(SIGPIPE, SIG_IGN);
  return kovrad::hub::Serve(config);
}
