// What the device remembers, and the state file that keeps it across restarts:
// one "key=value" line per item, values escaped onto one line, written whole
// to a temporary file and renamed over the old one so a crash never leaves
// half a state behind.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace satemu {

enum class Activation {
  kFactory,              // never activated: the factory code opens status, network and logs
  kAwaitingCertificate,  // activated for an ICP-Brasil certificate that has not come yet
  kActive,
};

// Operating states, as the status reply reports them.
enum LockState { kUnlocked = 0, kLockSefaz, kLockTaxpayer, kLockAutonomous, kLockDeactivation };

inline constexpr size_t kSessionsKept = 100;
inline constexpr size_t kEventsKept = 500;

struct DeviceState {
  Activation activation = Activation::kFactory;
  std::string activation_code;
  std::string emergency_code;
  std::string taxpayer_cnpj;
  std::string state_code;  // the taxpayer's state (UF), two digits
  std::string software_house_cnpj;
  std::string signature;
  int lock = kUnlocked;
  // Elements of the last accepted network configuration document.
  std::map<std::string, std::string> network;
  uint64_t coupons_issued = 0;
  uint64_t coupons_cancelled = 0;
  std::string last_sale_key;        // 44 digits
  std::string last_sale_time;       // AAAAMMDDhhmmss
  std::string certificate_issued;   // AAAAMMDD
  std::string certificate_expires;  // AAAAMMDD
  std::string last_transmission;    // AAAAMMDDhhmmss, last coupon sent to SEFAZ
  std::string last_contact;         // AAAAMMDDhhmmss, last exchange with SEFAZ
  std::string certificate_request;  // PEM, while a certificate is awaited
  std::string software_version = "01.00.00";
  // Replies of the last sessions, oldest first, one per session number.
  std::deque<std::pair<int32_t, std::string>> sessions;
  // The device's own event log, oldest first.
  std::deque<std::string> events;
  // Items this version does not know, kept as they were for the version that does.
  std::vector<std::pair<std::string, std::string>> other;

  void RememberSession(int32_t session, std::string reply);
  const std::string* FindSession(int32_t session) const;
  void AddEvent(std::string record);
};

// Reads the state file. A missing file is not an error (`*found` is false and
// `state` is left alone); a damaged one is, so it is never overwritten.
bool LoadState(const std::string& path, DeviceState* state, bool* found, std::string* error);
bool SaveState(const std::string& path, const DeviceState& state, std::string* error);

}  // namespace satemu
