// kovrad-hub: the SAT devices of this machine served over HTTP.
//
//   kovrad-hub [--config FILE]      the hub (default /etc/kovrad/kovrad-hub.toml)
//   kovrad-hub [--config FILE] exportar --mes AAAA-MM [--cnpj CNPJ] --saida FILE.zip
//                                   the month's bundle for the accountant
//   kovrad-hub --worker FD PORT     one device's worker, started by the hub
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config.h"
#include "device.h"
#include "export_command.h"
#include "http_server.h"
#include "ledger.h"
#include "log.h"
#include "metrics.h"
#include "routes.h"
#include "service.h"
#include "worker.h"

namespace kovrad::hub {
namespace {

constexpr char kUsage[] =
    "uso: kovrad-hub [--config ARQUIVO]\n"
    "     kovrad-hub [--config ARQUIVO] exportar --mes AAAA-MM [--cnpj CNPJ] --saida ARQUIVO.zip\n"
    "\n"
    "Serve os SAT deste computador aos caixas da loja por HTTP. A configuração\n"
    "(TOML, padrão /etc/kovrad/kovrad-hub.toml) diz o endereço, os SAT, os caixas,\n"
    "os tokens e o banco de registro, que guarda também cada CF-e emitido. Pronto,\n"
    "escreve KOVRAD_HUB_URL=<url> na saída. \"exportar\" grava o pacote do mês para o\n"
    "contador (os XML e o resumo em CSV e PDF).\n";

int Serve(const std::string& config_path) {
  std::string error;
  const auto config = LoadConfig(config_path, &error);
  if (!config) {
    Log(Level::kError, "configuração: " + error);
    return 2;
  }
  auto ledger = Ledger::Open(config->database, &error);
  if (!ledger) {
    Log(Level::kError, "banco de registro: " + error);
    return 1;
  }
  // Lookups read the archive on a connection of their own, beside the
  // ledger's writes.
  const auto archive =
      archive::Archive::Open(config->database, archive::Archive::Mode::kExisting, &error);
  if (!archive) {
    Log(Level::kError, "arquivo de CF-e: " + error);
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
    Log(Level::kInfo, "SAT " + device.serial + " em ttyACM" + std::to_string(device.port));
  }
  if (devices.empty()) Log(Level::kWarning, "nenhum SAT encontrado");

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
  service.RecoverUnfinished();
  const Hub hub{*config, service, metrics, archive.get()};
  HttpServer server([&hub](const HttpRequest& request) { return Route(hub, request); }, BodyLimit);
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
  Log(Level::kNotice, "ouvindo em " + url);
  std::printf("KOVRAD_HUB_URL=%s\n", url.c_str());
  std::fflush(stdout);

  int signal_number = 0;
  sigwait(&stop, &signal_number);
  Log(Level::kNotice, "encerrando");
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
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "--worker") {
    return kovrad::hub::RunWorkerMode(argv[2], argv[3]);
  }
  std::string config = "/etc/kovrad/kovrad-hub.toml";
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kovrad::hub::kUsage, stdout);
    return 0;
  }
  size_t command = 0;
  if (args.size() >= 2 && args[0] == "--config") {
    config = args[1];
    command = 2;
  }
  if (command < args.size() && args[command] == "exportar") {
    return kovrad::hub::RunExport(config,
                                  {args.begin() + static_cast<long>(command) + 1, args.end()});
  }
  if (command != args.size()) {
    std::fputs(kovrad::hub::kUsage, stderr);
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  return kovrad::hub::Serve(config);
}
