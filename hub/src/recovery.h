// Recovering a sale or cancellation whose reply never came or came cut: the
// device is asked, with ConsultarNumeroSessao, what it did under the same
// session number, and its stored reply becomes the outcome.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kovrad::hub {

// Sales and cancellations: the calls that must be neither lost nor repeated.
bool IsFiscal(std::string_view function);

// Whether `reply` to the fiscal `function` leaves open what the device did:
// a link failure or a reply cut short, rather than the device's answer.
bool NeedsRecovery(std::string_view function, std::string_view reply);

enum class Lookup {
  kFound,       // the device has the session: its reply is the outcome
  kNotMade,     // the device never took the request
  kRetry,       // the lookup itself failed on the link: ask again
  kUnresolved,  // the device refuses to say (e.g. a wrong activation code)
};

// What the reply to ConsultarNumeroSessao says about the fiscal `function`.
Lookup ReadLookup(std::string_view function, std::string_view lookup_reply);

// Whether `reply` answers session `session`. The library takes the first
// reply frame that comes: after an exchange cut short, the late reply to it
// can arrive in the next exchange's place.
bool SameSession(std::string_view reply, int32_t session);

// The failure line the hub answers with when it has no reply of the device:
// "<session>|9999|<message>", as the library writes its own.
std::string FailureLine(int session, std::string_view message);

}  // namespace kovrad::hub
