#include "recovery.h"

#include <algorithm>
#include <cstdio>

#include "replies.h"

namespace kovrad::hub {
namespace {

// The result codes of a function's own answers share their first two digits.
std::string_view Family(std::string_view function) {
  return function == "EnviarDadosVenda" ? "06" : "07";
}

}  // namespace

bool IsFiscal(std::string_view function) {
  return function == "EnviarDadosVenda" || function == "CancelarUltimaVenda";
}

bool NeedsRecovery(std::string_view function, std::string_view reply) {
  if (!IsFiscal(function)) return false;
  const std::string_view code = ResultCode(reply);
  const auto fields = SplitFields(reply);
  // A complete answer of the device carries its session, its code and at
  // least the message; a success carries the coupon too.
  const bool success = code == (function == "EnviarDadosVenda" ? "06000" : "07000");
  return code.size() != 5 || !code.starts_with(Family(function)) || fields.size() < 4 ||
         (success && (fields.size() < 7 || fields[6].empty()));
}

Lookup ReadLookup(std::string_view function, std::string_view lookup_reply) {
  const std::string_view code = ResultCode(lookup_reply);
  // The stored reply of another function under the same number is not the
  // outcome of this request. The device hands a sale back as text; binary
  // bytes mean the late, compressed reply to the sale itself came instead,
  // and the lookup's own reply is still to come.
  const bool text = std::none_of(lookup_reply.begin(), lookup_reply.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  if (code.size() == 5 && code.starts_with(Family(function))) {
    return text && !NeedsRecovery(function, lookup_reply) ? Lookup::kFound : Lookup::kRetry;
  }
  if (code == "11003") return Lookup::kNotMade;
  if (code.size() != 5 || code == "09999") return Lookup::kRetry;
  if (code.starts_with("11")) return Lookup::kUnresolved;
  // Another call holds the number: the device keeps one reply per number and
  // the hub draws its numbers for itself, so this request never got there.
  return Lookup::kNotMade;
}

bool SameSession(std::string_view reply, int32_t session) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d", session);
  return SplitFields(reply).front() == text;
}

std::string FailureLine(int session, std::string_view message) {
  char head[16];
  std::snprintf(head, sizeof head, "%06d|9999|", session);
  return head + std::string(message);
}

}  // namespace kovrad::hub
