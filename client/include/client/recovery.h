// A sale or cancellation whose reply was lost on the way back (a time-out, a
// reply cut short) may still have been signed by the device. Sending it again
// would then make a second coupon. The device keeps the reply of each recent
// session, so asking ConsultarNumeroSessao with the lost call's session number
// tells what it did. This module asks (a few bounded times) and says which of
// four things happened; printing and saving are left to the caller.
//
// Use: after EnviarDadosVenda or CancelarUltimaVenda, pass the session number,
// CodigoErro's code and the reply to OutcomeUncertain. When it says true,
// call RecoverSale before anything else and act on the fate; never send the
// same sale again while the fate is kMade or kUnknown. Draw each lookup's
// session number from the same SessionStore as the sale's.
//
// RecoverSale blocks: each lookup may take ConsultarNumeroSessao's 20-second
// time limit, with `pause_ms` between lookups that failed on the link. It
// keeps no state; calls for different sales may run on different threads if
// their lookups take turns on the device.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "client/binding.h"

namespace kovrad::client {

enum class SaleFate {
  kMade,     // the device signed it; its stored reply carries the coupon
  kRefused,  // the device answered it with a refusal: no coupon was made
  kNotMade,  // the device never got it: sending it again is safe
  kUnknown,  // nothing could settle it: do not send it again, ask again later
};

// Whether a call of `function` that ended with `link_code` and `reply` leaves
// open what the device did. Only the sale and the cancellation are looked at:
// their reply is lost when the link times out, when the request may have
// partly gone out, or when the reply is no whole reply of that session.
bool OutcomeUncertain(std::string_view function, int32_t session, int32_t link_code,
                      std::string_view reply);

// What one ConsultarNumeroSessao gave: the reply line and the link error code
// (`called` false when the library could not be reached).
struct LookupReply {
  bool called = false;
  std::string reply;
  int32_t link_code = 0;
};

// Asks for the stored reply of `looked_up`, with `session` as the lookup's
// own session number.
using SessionLookup = std::function<LookupReply(int32_t session, int32_t looked_up)>;

// The lookup through the library binding, with the activation code. The
// returned function holds a reference to `library`, which must outlive it.
SessionLookup LookupThrough(Library& library, std::string activation_code);

struct Recovery {
  SaleFate fate = SaleFate::kUnknown;
  std::string reply;   // the stored reply (made or refused), raw bytes
  std::string coupon;  // the signed coupon decoded from it (made)
  int attempts = 0;    // lookups asked
  std::string reason;  // what the last lookup gave, when the fate is unknown
};

inline constexpr int kRecoveryAttempts = 3;

// Settles the fate of `function`'s call with session number `session`.
// `fresh_session` draws the session number of each lookup. Between lookups
// that failed on the link it pauses `pause_ms`.
Recovery RecoverSale(std::string_view function, int32_t session,
                     const std::function<int32_t()>& fresh_session, const SessionLookup& lookup,
                     int attempts = kRecoveryAttempts, int pause_ms = 1000);

// The signed coupon in field 7 of a sale or cancellation reply line, decoded
// and ended after its root element; empty when there is none.
std::string CouponOf(std::string_view reply);

}  // namespace kovrad::client
