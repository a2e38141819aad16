// The hub's configuration, read from a TOML file.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "client_limits.h"

namespace kovrad::hub {

struct DeviceConfig {
  std::string serial;           // the device's serial number
  int port = -1;                // the N of ttyACM<N>
  std::string activation_code;  // empty: the hub's general code
};

// Shipping to the chain's central PostgreSQL ([central]); off while
// `connection` is empty.
struct CentralConfig {
  std::string connection;           // libpq connection string
  std::string tls = "verify-full";  // libpq sslmode: disable, require, verify-ca, verify-full
  std::string tls_ca;               // sslrootcert
  std::string tls_certificate;      // sslcert, sslkey: a client certificate
  std::string tls_key;
  std::string store;  // this store's identifier in the central database
  int batch = 500;    // coupons per transaction

  bool enabled() const { return !connection.empty(); }
};

struct Config {
  std::string address = "127.0.0.1";
  int port = 8080;  // 0: any free port (printed when ready)
  std::string database = "kovrad-hub.db";
  std::string activation_code;        // for every device that names none
  std::vector<DeviceConfig> devices;  // empty: the devices found on USB
  std::map<int, std::string> tills;   // till number -> device serial
  std::string default_device;         // serial for tills not listed
  std::map<int, std::string> tokens;  // till number -> bearer token
  // name -> bearer token of those who may activate, lock, change the code...
  std::map<std::string, std::string> administrators;
  std::vector<std::string> allowed;  // client addresses let in without a token
  std::string tls_certificate;       // PEM files; both set: HTTPS
  std::string tls_key;
  int recovery_attempts = 3;
  ClientLimitSettings limits;
  CentralConfig central;
  int status_period = 300;  // seconds between status queries of an idle device; 0: never

  bool NeedsAuthentication() const {
    return !tokens.empty() || !administrators.empty() || !allowed.empty();
  }
};

// Reads and checks `path`; nothing, with the reason in `error`, when the
// file is unreadable or names something impossible.
std::optional<Config> LoadConfig(const std::string& path, std::string* error);

// Whether `address` is a loopback address (127.0.0.0/8 or ::1).
bool IsLoopback(const std::string& address);

}  // namespace kovrad::hub
