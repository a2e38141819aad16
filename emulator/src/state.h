// The device's settings and counters, and the state file that keeps them
// across restarts: a format line, then one "key=value" line per item, values
// escaped onto one line. Session replies and the event log live in the
// journal instead, so the file stays small.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "history.h"

namespace satemu {

enum class Activation {
  kFactory,              // never activated: the factory code opens status, network and logs
  kAwaitingCertificate,  // activated for an ICP-Brasil certificate that has not come yet
  kActive,
};

// Operating states, as the status reply reports them.
enum LockState { kUnlocked = 0, kLockSefaz, kLockTaxpayer, kLockAutonomous, kLockDeactivation };

// Coupon numbers (nCFe) run from 1 to this and start over.
inline constexpr uint64_t kMaxCouponNumber = 999999;
// Counters stop here rather than reach what the state file cannot hold.
inline constexpr uint64_t kMaxCounter = 999'999'999'999'999;

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
};

// What a state file holds: the state, the journal generation it goes with,
// and, from a file of the first format, the sessions and events it still
// kept itself (for the journal to take over).
struct StoredState {
  DeviceState state;
  uint64_t generation = 0;
  int format = 0;
  std::vector<Entry> legacy;
};

// Reads a state file's text. False, with "<path>:<line>: reason", when it is
// empty, cut short, has an unknown key, lacks a required one, or holds a
// value out of range.
bool ParseState(const std::string& text, const std::string& path, StoredState* stored,
                std::string* error);
// The state file's text for `state` at journal generation `generation`.
std::string StateText(const DeviceState& state, uint64_t generation);

// Adds one to a counter unless it has reached kMaxCounter.
void Count(uint64_t* counter);

}  // namespace satemu
