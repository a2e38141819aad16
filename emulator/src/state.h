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
// Sale replies can be large: past this many bytes in all, the oldest go first.
inline constexpr size_t kSessionBytesKept = 16 * 1024 * 1024;
inline constexpr size_t kEventsKept = 500;

// Who the coupons name as their emitter, beside the CNPJ: what SEFAZ holds on
// the taxpayer the device is activated for. The defaults describe the test
// taxpayer; the state file's taxpayer.* items change them.
struct Taxpayer {
  std::string ie;  // state registration; empty: the one each sale gives is taken
  std::string name = "CONTRIBUINTE DE TESTE DO SAT-CF-E LTDA";
  std::string trade_name = "LOJA DE TESTE";
  std::string street = "RUA DOS TESTES";
  std::string number = "100";
  std::string complement;
  std::string district = "CENTRO";
  std::string city = "SAO PAULO";
  std::string postcode = "01001000";
  std::string regime = "3";  // cRegTrib: 1 Simples Nacional, 3 regime normal
};

// What a cancellation needs of the last sale.
struct LastSale {
  std::string key;    // 44 digits; empty when there is none to cancel
  std::string time;   // AAAAMMDDhhmmss of its issue
  std::string total;  // vCFe
  std::string buyer;  // the buyer's CPF or CNPJ, empty when none was given
  std::string ie;     // the emitter's state registration on it
};

struct DeviceState {
  Activation activation = Activation::kFactory;
  std::string activation_code;
  std::string emergency_code;
  std::string taxpayer_cnpj;
  Taxpayer taxpayer;
  std::string state_code;  // the taxpayer's state (UF), two digits
  std::string software_house_cnpj;
  std::string signature;
  int lock = kUnlocked;
  // Elements of the last accepted network configuration document.
  std::map<std::string, std::string> network;
  uint64_t coupons_issued = 0;
  uint64_t coupons_cancelled = 0;
  uint64_t last_coupon_number = 0;  // nCFe of the last sale or cancellation coupon
  uint64_t last_test_number = 0;    // the end-to-end test's coupons count apart
  LastSale last_sale;
  std::string last_coupon_key;      // 44 digits, of a sale or a cancellation
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
