// satemu's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "faults.h"

namespace satemu {

struct Options {
  std::string dir;
  int port = 0;
  std::string serial;          // nine digits; default: 900000000 + port
  std::string state_file;      // default: DIR/state (DIR/state.<port> for ports other than 0)
  bool kit = false;            // a new device starts activated and associated
  bool unique_sessions = false;  // a session number remembered is refused
  std::string emergency_code;  // empty: as saved (a new device gets the default)
  int lock = -1;               // operating state forced at start; -1: as saved
  // A device in trouble with SEFAZ, for monitoring: its certificate expires
  // this many days after start; its last coupon reached SEFAZ this many
  // hours before start; this many coupons wait for transmission. With
  // either of the last two, no coupon reaches SEFAZ while it runs.
  std::optional<int> certificate_days;
  std::optional<int> transmission_hours;
  std::optional<int> pending;
  Fault fault;
  bool verbose = false;
};

// Where the device keeps its signing key and certificate: DIR/sat-<serial>
// followed by .key and .crt.
std::string SigningKeyPrefix(const Options& options);

enum class Parsed { kRun, kHelp, kVersion, kError };

// Reads the arguments after the program name; on kError `message` says why.
Parsed ParseOptions(const std::vector<std::string>& args, Options* options, std::string* message);

extern const char kUsage[];
extern const char kVersionText[];

}  // namespace satemu
