#include "options.h"

#include <getopt.h>

#include "device.h"
#include "i18n/messages.h"
#include "text.h"

namespace satemu {

const char kUsage[] =
    N_("usage: satemu --dir DIR [--port N] [--serial S] [--state FILE] [--kit]\n"
       "              [--emergency CODE] [--lock 0-4] [--fault MODE [--fault-only FUNCTION]]\n"
       "              [--unique-sessions]\n"
       "              [--certificate-days N] [--last-transmission HOURS] [--pending N]\n"
       "              [--verbose] | --help | --version\n"
       "\n"
       "An emulated SAT device on a pseudo-terminal, published as DIR/dev/ttyACM<N> with a\n"
       "USB identity under DIR/sys. Prints KOVRAD_DEV_DIR=... KOVRAD_SYSFS_DIR=... when ready;\n"
       "SIGINT or SIGTERM removes what it published. Coupons are signed with a key made on first\n"
       "start and kept with its self-signed certificate in DIR/sat-<serial>.key and .crt; they\n"
       "name the taxpayer as the state file's taxpayer.* items say (name, address, IE).\n"
       "\n"
       "  --dir DIR          where to publish (shared by several devices on other ports)\n"
       "  --port N           the N of ttyACM<N> (0 to 999, default 0)\n"
       "  --serial S         serial number, nine digits (default 900000000 + N)\n"
       "  --state FILE       state file (default DIR/state, DIR/state.<N> for N other than 0)\n"
       "  --kit              a new device starts as a development kit: activated with code\n"
       "                     12345678 and associated with the test identities\n"
       "  --emergency CODE   emergency activation code (a new device gets 87654321)\n"
       "  --lock STATE       start in operating state 0-4 (0 unlocked, 1 SEFAZ, 2 taxpayer,\n"
       "                     3 autonomous, 4 deactivation)\n"
       "  --certificate-days N      the certificate expires N days after start (-3650 to 3650)\n"
       "  --last-transmission HOURS the last coupon reached SEFAZ HOURS before start (0 to 87600)\n"
       "  --pending N               N coupons wait for transmission (0 to 999999); with this\n"
       "                            or --last-transmission, no coupon reaches SEFAZ meanwhile\n"
       "  --fault MODE       silent | delay:MS | split[:GAP_MS] | checksum | control[:CODE]\n"
       "                     | oversized | garbage[:COUNT] | text:REPLY\n"
       "  --fault-only NAME  apply the fault to this function only (e.g. ConsultarSAT)\n"
       "  --unique-sessions  refuse (case 099, nothing done) a request whose session number\n"
       "                     is one of the last 100 the device remembers\n"
       "  --verbose          one line on standard error per request\n"
       "  --help, --version  this text, or the version, and nothing else\n");

const char kVersionText[] = "satemu " KOVRAD_VERSION "\n";

namespace {

// Coupon access keys carry it as nine digits.
bool ValidSerial(const std::string& serial) {
  return serial.size() == 9 && AllDigits(serial);
}

}  // namespace

std::string SigningKeyPrefix(const Options& options) {
  return options.dir + "/sat-" + options.serial;
}

Parsed ParseOptions(const std::vector<std::string>& args, Options* options, std::string* message) {
  enum Long {
    kDir = 256,
    kPort,
    kSerial,
    kState,
    kKit,
    kEmergency,
    kLock,
    kFault,
    kFaultOnly,
    kUniqueSessions,
    kCertificateDays,
    kLastTransmission,
    kPending,
    kVersionOption
  };
  static const option kLong[] = {
      {"dir", required_argument, nullptr, kDir},
      {"port", required_argument, nullptr, kPort},
      {"serial", required_argument, nullptr, kSerial},
      {"state", required_argument, nullptr, kState},
      {"kit", no_argument, nullptr, kKit},
      {"emergency", required_argument, nullptr, kEmergency},
      {"lock", required_argument, nullptr, kLock},
      {"fault", required_argument, nullptr, kFault},
      {"fault-only", required_argument, nullptr, kFaultOnly},
      {"unique-sessions", no_argument, nullptr, kUniqueSessions},
      {"certificate-days", required_argument, nullptr, kCertificateDays},
      {"last-transmission", required_argument, nullptr, kLastTransmission},
      {"pending", required_argument, nullptr, kPending},
      {"verbose", no_argument, nullptr, 'v'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersionOption},
      {nullptr, 0, nullptr, 0},
  };
  std::vector<std::string> copies = {"satemu"};
  copies.insert(copies.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  Options o;
  std::string fault_only;
  bool has_fault = false;
  long long number = 0;
  opterr = 0;
  optind = 0;  // a fresh scan, also when called again
  const auto fail = [&](std::string text) {
    *message = std::move(text);
    return Parsed::kError;
  };
  for (;;) {
    const int previous = optind == 0 ? 1 : optind;
    const int c = getopt_long(static_cast<int>(copies.size()), argv.data(), ":hv", kLong, nullptr);
    if (c == -1) break;
    const std::string value = optarg != nullptr ? optarg : "";
    const std::string given = previous < static_cast<int>(copies.size()) ? copies[previous] : "";
    switch (c) {
      case 'h':
        return Parsed::kHelp;
      case kVersionOption:
        return Parsed::kVersion;
      case 'v':
        o.verbose = true;
        break;
      case kKit:
        o.kit = true;
        break;
      case kUniqueSessions:
        o.unique_sessions = true;
        break;
      case kDir:
        o.dir = value;
        break;
      case kPort:
        if (!ParseInteger(value, 0, 999, &number)) return fail("--port: 0 to 999");
        o.port = static_cast<int>(number);
        break;
      case kSerial:
        if (!ValidSerial(value)) return fail("--serial: nine digits");
        o.serial = value;
        break;
      case kState:
        o.state_file = value;
        break;
      case kEmergency:
        if (!ValidActivationCode(value)) {
          return fail("--emergency: 8 to 32 characters, no \"|\"");
        }
        o.emergency_code = value;
        break;
      case kLock:
        if (!ParseInteger(value, 0, 4, &number)) return fail("--lock: 0 to 4");
        o.lock = static_cast<int>(number);
        break;
      case kCertificateDays:
        if (!ParseInteger(value, -3650, 3650, &number))
          return fail("--certificate-days: -3650 to 3650");
        o.certificate_days = static_cast<int>(number);
        break;
      case kLastTransmission:
        if (!ParseInteger(value, 0, 87600, &number)) return fail("--last-transmission: 0 to 87600");
        o.transmission_hours = static_cast<int>(number);
        break;
      case kPending:
        if (!ParseInteger(value, 0, 999999, &number)) return fail("--pending: 0 to 999999");
        o.pending = static_cast<int>(number);
        break;
      case kFault:
        if (!ParseFault(value, &o.fault, message)) return Parsed::kError;
        has_fault = true;
        break;
      case kFaultOnly:
        if (!IsDeviceFunction(value)) {
          return fail("--fault-only: \"" + Printable(value, 64) +
                      "\" is no function of the device (e.g. ConsultarSAT, EnviarDadosVenda)");
        }
        fault_only = value;
        break;
      case ':':
        return fail(given.substr(0, given.find('=')) + " needs a value");
      default:
        return fail("unknown option " + given);
    }
  }
  if (optind < static_cast<int>(copies.size())) {
    return fail("unexpected argument " + copies[static_cast<size_t>(optind)]);
  }
  if (o.dir.empty()) return fail("--dir is required");
  if (!fault_only.empty() && !has_fault) return fail("--fault-only needs --fault");
  o.fault.only = fault_only;
  if (o.serial.empty()) o.serial = std::to_string(900000000 + o.port);
  if (o.state_file.empty()) {
    o.state_file = o.dir + (o.port == 0 ? "/state" : "/state." + std::to_string(o.port));
  }
  *options = std::move(o);
  return Parsed::kRun;
}

}  // namespace satemu
