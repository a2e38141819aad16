#include "options.h"

#include "device.h"
#include "text.h"

namespace satemu {

const char kUsage[] =
    "usage: satemu --dir DIR [--port N] [--serial S] [--state FILE] [--kit]\n"
    "              [--emergency CODE] [--lock 0-4] [--fault MODE [--fault-only FUNCTION]]\n"
    "              [--verbose]\n"
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
    "  --fault MODE       silent | delay:MS | split[:GAP_MS] | checksum | control[:CODE]\n"
    "                     | oversized | garbage[:COUNT] | text:REPLY\n"
    "  --fault-only NAME  apply the fault to this function only (e.g. ConsultarSAT)\n"
    "  --verbose          one line on standard error per request\n";

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
  Options o;
  std::string fault_only;
  bool has_fault = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    const size_t equals = name.find('=');
    const bool inline_value = name.starts_with("--") && equals != std::string::npos;
    if (inline_value) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    auto take_value = [&]() {
      if (inline_value) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    long long number = 0;
    if (name == "--help" || name == "-h") return Parsed::kHelp;
    if (name == "--kit" || name == "--verbose" || name == "-v") {
      (name == "--kit" ? o.kit : o.verbose) = true;
      continue;
    }
    if (!take_value()) {
      *message = name.starts_with("--") ? name + " needs a value" : "unknown argument " + name;
      return Parsed::kError;
    }
    if (name == "--dir") {
      o.dir = value;
    } else if (name == "--port") {
      if (!ParseInteger(value, 0, 999, &number))
        return *message = "--port: 0 to 999", Parsed::kError;
      o.port = static_cast<int>(number);
    } else if (name == "--serial") {
      o.serial = value;
      if (!ValidSerial(value)) return *message = "--serial: nine digits", Parsed::kError;
    } else if (name == "--state") {
      o.state_file = value;
    } else if (name == "--emergency") {
      o.emergency_code = value;
      if (!ValidActivationCode(value)) {
        return *message = "--emergency: 8 to 32 characters, no \"|\"", Parsed::kError;
      }
    } else if (name == "--lock") {
      if (!ParseInteger(value, 0, 4, &number)) return *message = "--lock: 0 to 4", Parsed::kError;
      o.lock = static_cast<int>(number);
    } else if (name == "--fault") {
      if (!ParseFault(value, &o.fault, message)) return Parsed::kError;
      has_fault = true;
    } else if (name == "--fault-only") {
      fault_only = value;
    } else {
      *message = "unknown option " + name;
      return Parsed::kError;
    }
  }
  if (o.dir.empty()) return *message = "--dir is required", Parsed::kError;
  if (!fault_only.empty() && !has_fault) {
    return *message = "--fault-only needs --fault", Parsed::kError;
  }
  o.fault.only = fault_only;
  if (o.serial.empty()) o.serial = std::to_string(900000000 + o.port);
  if (o.state_file.empty()) {
    o.state_file = o.dir + (o.port == 0 ? "/state" : "/state." + std::to_string(o.port));
  }
  *options = std::move(o);
  return Parsed::kRun;
}

}  // namespace satemu
