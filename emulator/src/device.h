// The emulated SAT device: turns one request text into one reply text, with
// the result codes of the SAT-CF-e standard, and keeps its state and event log
// up to date. Each family of commands lives in a module of its own
// (commands_*.cpp) and adds its functions to the device's command table.
#pragma once

#include <ctime>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history.h"
#include "signing_key.h"
#include "state.h"

namespace satemu {

// The code a device accepts for status, network and logs before activation.
inline constexpr char kFactoryCode[] = "24681357";
// What a development kit starts with.
inline constexpr char kKitCode[] = "12345678";
inline constexpr char kDefaultEmergencyCode[] = "87654321";
// The public identities of the SAT-CF-e test environment.
inline constexpr char kTestTaxpayerCnpj[] = "08723218000186";
inline constexpr char kTestTaxpayerIe[] = "149626224113";
inline constexpr char kTestStateCode[] = "35";
inline constexpr char kTestSoftwareHouseCnpj[] = "16716114000172";
inline constexpr char kTestSignature[] = "SGR-SAT SISTEMA DE GESTAO E RETAGUARDA DO SAT";

// The certificate a device gets from SEFAZ on activation lasts five years.
inline constexpr int kCertificateYears = 5;

inline constexpr char kMsgInvalidCode[] = "Código de ativação inválido";
inline constexpr char kMsgNotActivated[] = "SAT ainda não ativado";

// Makes `state` a development kit's: activated with kKitCode at `now` for
// the test taxpayer, and associated with the test software house.
void MakeKit(DeviceState* state, std::time_t now);

struct Request {
  int32_t session = 0;
  std::string function;
  std::string payload;  // after the "|" that follows the function name
};

// "<session>|<function>[|<payload>]"; false when the session number or the
// function name is missing (the session number read so far is kept).
bool ParseRequest(std::string_view text, Request* request);

struct Reply {
  std::string code;  // the result code, e.g. "08000"
  std::string line;  // the whole reply text
  // What a later ConsultarNumeroSessao hands back, when not `line`: a sale
  // reply is remembered with its coupon part expanded, as readable text.
  std::string remembered;
};

// "session|code|" followed by `fields`, joined by "|".
Reply Fields(const Request& request, std::string code, const std::vector<std::string_view>& fields);
// The common layout "session|code|message|cod|messageSEFAZ", then `extra`.
Reply Answer(const Request& request, std::string code, std::string_view message,
             std::initializer_list<std::string_view> extra = {});

// A family of result codes: "06001" is family "06", case "001". The sale pair
// puts an alert code before the message ("session|code|alert|message|...").
enum class Layout { kCommon, kSale };
struct Family {
  std::string_view prefix;
  std::string_view not_activated = "002";
  Layout layout = Layout::kCommon;
};
Reply Refuse(const Request& request, const Family& family, std::string_view which,
             std::string_view message);
// Case 099 of the family of `code`: the device failed, the request did not
// take effect.
Reply DeviceError(const Request& request, std::string_view code);

// What a command needs before it runs.
enum class Access {
  kFactoryCode,  // the activation code, or the factory code before activation
  kActivated,    // an activated device and its activation code
};

class Device;
class Store;
using Handler = Reply (*)(Device&, const Request&);
using CommandTable = std::map<std::string, Handler, std::less<>>;

// A function the device answers (a wire name: "TrocarCodigoDeAtivacaoSAT").
bool IsDeviceFunction(std::string_view name);

void AddQueries(CommandTable& table);
void AddAdministration(CommandTable& table);
void AddNetwork(CommandTable& table);
void AddSales(CommandTable& table);

class Device {
 public:
  Device(DeviceState& state, std::string serial);

  struct Outcome {
    std::string function;  // empty when the request could not be read
    Reply reply;
  };
  // Carries out one request: the reply, the session memory and a record in
  // the event log. Never fails: a request it cannot read gets a refusal,
  // and one whose outcome the store cannot keep gets the device-error reply
  // of its family and changes nothing.
  Outcome Handle(std::string_view text);
  // Keeps the state and what was recorded since the last request in the
  // store (when there is one) and then in the history; false, with nothing
  // kept, when the store fails.
  bool Commit();

  // The refusal that `code` and the device's state call for, if any.
  std::optional<Reply> Refusal(const Request& request, std::string_view code, const Family& family,
                               Access access) const;
  bool CodeMatches(std::string_view code) const;

  // Adds "AAAAMMDDhhmmss|SAT|INFO|EVENT: text" to the event log.
  void Record(std::string_view event, std::string_view text, bool failure = false);

  DeviceState& state() { return state_; }
  History& history() { return history_; }
  // Where the state and the history are kept; none: in memory only.
  void set_store(Store* store) { store_ = store; }
  // Refuses a request whose session number is one of those remembered
  // (the last 100), doing nothing, instead of answering it and forgetting
  // the earlier reply under that number.
  void set_unique_sessions(bool on) { unique_sessions_ = on; }
  const std::string& serial() const { return serial_; }
  std::time_t Now() const { return std::time(nullptr); }

  // The key coupons are signed with: the one given, or else one made for
  // this object's life. Null when none can be made.
  // A device cut off from SEFAZ: `pending` coupons wait for transmission,
  // and each coupon made from now on joins them.
  void HoldTransmission(uint64_t pending) {
    holding_ = true;
    untransmitted_ = pending;
  }
  // A coupon just made: transmitted at once, or added to those waiting.
  void Transmit(const std::string& timestamp) {
    if (holding_) {
      ++untransmitted_;
    } else {
      state_.last_transmission = timestamp;
    }
  }
  uint64_t untransmitted() const { return untransmitted_; }

  const SigningKey* signing_key();
  void set_signing_key(const SigningKey* key) { signing_key_ = key; }

 private:
  DeviceState& state_;
  History history_;
  std::vector<Entry> pending_;  // recorded, not yet committed
  Store* store_ = nullptr;
  bool unique_sessions_ = false;
  std::string serial_;
  CommandTable commands_;
  const SigningKey* signing_key_ = nullptr;
  std::unique_ptr<SigningKey> own_key_;
  bool holding_ = false;
  uint64_t untransmitted_ = 0;
};

}  // namespace satemu
