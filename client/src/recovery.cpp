#include "client/recovery.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "client/functions.h"
#include "client/reply_line.h"

namespace kovrad::client {
namespace {

constexpr std::string_view kNoSuchSession = "11003";
// The device is busy or failed inside: the same question may work later.
constexpr std::string_view kTryAgain[] = {"11098", "11099"};

const Function* SaleFunction(std::string_view function) {
  const Function* f = FindFunction(function);
  return f != nullptr && f->fiscal ? f : nullptr;
}

// The result code family of `function`: "06" for the sale.
std::string_view Family(const Function& function) {
  return function.success.front().substr(0, 2);
}

// Strict Base64 (padding optional): nothing when any other byte is there.
std::optional<std::string> DecodeBase64(std::string_view text) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  while (text.ends_with('=')) text.remove_suffix(1);
  if (text.size() % 4 == 1) return std::nullopt;
  std::string bytes;
  bytes.reserve(text.size() * 3 / 4);
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    const size_t value = kAlphabet.find(c);
    if (value == std::string_view::npos) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return bytes;
}

bool IsResultCode(std::string_view code) {
  return code.size() == 5 && code.find_first_not_of("0123456789") == std::string_view::npos;
}

// What one lookup settles: the fate, nothing for good, or nothing yet.
enum class Verdict { kSettled, kAskAgain, kGiveUp };

Verdict Weigh(const Function& sale, int32_t session, const LookupReply& answer, bool last,
              Recovery* recovery) {
  if (!answer.called) {
    recovery->reason = "the library could not be called";
    return Verdict::kGiveUp;
  }
  if (answer.link_code != __NOERROR__) {
    recovery->reason = "ConsultarNumeroSessao: link error " + std::to_string(answer.link_code);
    return Verdict::kAskAgain;
  }
  const std::vector<std::string> fields = SplitFields(answer.reply);
  if (fields.size() < 2 || !IsResultCode(fields[1])) {
    recovery->reason = "ConsultarNumeroSessao: no reply line";
    return Verdict::kAskAgain;
  }
  const std::string& code = fields[1];
  if (code == kNoSuchSession) {
    recovery->fate = SaleFate::kNotMade;
    return Verdict::kSettled;
  }
  if (std::find(std::begin(kTryAgain), std::end(kTryAgain), code) != std::end(kTryAgain)) {
    recovery->reason = "ConsultarNumeroSessao: " + code;
    return Verdict::kAskAgain;
  }
  if (code.starts_with("11")) {
    recovery->reason = "ConsultarNumeroSessao refused: " + answer.reply;
    return Verdict::kGiveUp;
  }
  if (!IsSession(fields[0], session) || !code.starts_with(Family(sale))) {
    recovery->reason = "the device's session " + std::to_string(session) + " holds a " + code +
                       " reply, not one of " + std::string(sale.export_name);
    return Verdict::kGiveUp;
  }
  recovery->reply = answer.reply;
  if (!Succeeded(sale, code)) {
    recovery->fate = SaleFate::kRefused;
    return Verdict::kSettled;
  }
  recovery->fate = SaleFate::kMade;
  recovery->coupon = CouponOf(answer.reply);
  // A coupon that does not decode was most likely overtaken by bytes of the
  // lost reply itself: the next lookup gets the stored one whole.
  return recovery->coupon.empty() && !last ? Verdict::kAskAgain : Verdict::kSettled;
}

}  // namespace

bool OutcomeUncertain(std::string_view function, int32_t session, int32_t link_code,
                      std::string_view reply) {
  const Function* sale = SaleFunction(function);
  if (sale == nullptr) return false;
  // The port never opened: nothing went out.
  if (link_code == __NOCONNECT__) return false;
  if (link_code != __NOERROR__) return true;
  const std::vector<std::string> fields = SplitFields(reply);
  if (fields.size() < 2 || !IsSession(fields[0], session) || !IsResultCode(fields[1])) return true;
  return Succeeded(*sale, fields[1]) && CouponOf(reply).empty();
}

SessionLookup LookupThrough(Library& library, std::string activation_code) {
  return [&library, code = std::move(activation_code)](int32_t session, int32_t looked_up) {
    LookupReply answer;
    const Reply reply =
        KOVRAD_SAT(library, ConsultarNumeroSessao, session, code.c_str(), looked_up);
    answer.called = reply.called;
    answer.reply = reply.text;
    std::string problem;
    const std::optional<COMM_ERROR> record = library.ErrorRecord(&problem);
    answer.called = answer.called && record.has_value();
    if (record) answer.link_code = record->code;
    return answer;
  };
}

Recovery RecoverSale(std::string_view function, int32_t session,
                     const std::function<int32_t()>& fresh_session, const SessionLookup& lookup,
                     int attempts, int pause_ms) {
  Recovery recovery;
  const Function* sale = SaleFunction(function);
  if (sale == nullptr) {
    recovery.reason = std::string(function) + " is neither a sale nor a cancellation";
    return recovery;
  }
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    if (attempt > 1) std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    recovery.attempts = attempt;
    const LookupReply answer = lookup(fresh_session(), session);
    switch (Weigh(*sale, session, answer, attempt == attempts, &recovery)) {
      case Verdict::kSettled:
        recovery.reason.clear();
        return recovery;
      case Verdict::kGiveUp:
        return recovery;
      case Verdict::kAskAgain:
        break;
    }
  }
  // A sale found made stays made, even when its coupon could not be read.
  if (recovery.fate != SaleFate::kMade) {
    recovery.fate = SaleFate::kUnknown;
    recovery.reply.clear();
  }
  return recovery;
}

std::string CouponOf(std::string_view reply) {
  const std::vector<std::string> fields = SplitFields(reply);
  if (fields.size() < 7 || fields[6].empty()) return {};
  const std::optional<std::string> decoded = DecodeBase64(fields[6]);
  if (!decoded) return {};
  const std::string& coupon = *decoded;
  for (std::string_view end : {"</CFeCanc>", "</CFe>"}) {
    const size_t at = coupon.find(end);
    if (at != std::string::npos) return coupon.substr(0, at + end.size());
  }
  return {};
}

}  // namespace kovrad::client
