#include "state.h"

#include <climits>
#include <cstring>
#include <set>
#include <string_view>

#include "network_settings.h"
#include "text.h"

namespace satemu {
namespace {

// 1: sessions and events in the file itself, no generation line (a file
// without a format line is one of these); 2: the journal beside it.
constexpr int kFormat = 2;
constexpr char kNetworkPrefix[] = "net.";

// What a text value may hold.
enum class Shape {
  kAny,
  kCode,     // an activation code, or empty
  kUf,       // two digits, or empty
  kCnpj,     // 14 digits, or empty
  kDate,     // AAAAMMDD, or empty
  kTime,     // AAAAMMDDhhmmss, or empty
  kKey,      // 44 digits, or empty
  kVersion,  // not empty
  kRegime,   // one digit
};

bool Fits(std::string_view value, Shape shape) {
  const auto digits = [&](size_t count) {
    return value.empty() || (value.size() == count && AllDigits(value));
  };
  switch (shape) {
    case Shape::kAny:
      return true;
    case Shape::kCode:
      return value.empty() || ValidActivationCode(value);
    case Shape::kUf:
      return digits(2);
    case Shape::kCnpj:
      return digits(14);
    case Shape::kDate:
      return digits(8);
    case Shape::kTime:
      return digits(14);
    case Shape::kKey:
      return digits(44);
    case Shape::kVersion:
      return !value.empty();
    case Shape::kRegime:
      return value.size() == 1 && AllDigits(value);
  }
  return false;
}

template <typename Owner>
struct TextItem {
  const char* key;
  std::string Owner::*member;
  Shape shape = Shape::kAny;
};

constexpr TextItem<DeviceState> kTexts[] = {
    {"activation_code", &DeviceState::activation_code, Shape::kCode},
    {"emergency_code", &DeviceState::emergency_code, Shape::kCode},
    {"taxpayer_cnpj", &DeviceState::taxpayer_cnpj, Shape::kCnpj},
    {"state_code", &DeviceState::state_code, Shape::kUf},
    {"software_house_cnpj", &DeviceState::software_house_cnpj, Shape::kCnpj},
    {"signature", &DeviceState::signature},
    {"last_coupon_key", &DeviceState::last_coupon_key, Shape::kKey},
    {"certificate_issued", &DeviceState::certificate_issued, Shape::kDate},
    {"certificate_expires", &DeviceState::certificate_expires, Shape::kDate},
    {"last_transmission", &DeviceState::last_transmission, Shape::kTime},
    {"last_contact", &DeviceState::last_contact, Shape::kTime},
    {"certificate_request", &DeviceState::certificate_request},
    {"software_version", &DeviceState::software_version, Shape::kVersion},
};

constexpr TextItem<Taxpayer> kTaxpayerItems[] = {
    {"taxpayer.ie", &Taxpayer::ie},
    {"taxpayer.name", &Taxpayer::name},
    {"taxpayer.trade_name", &Taxpayer::trade_name},
    {"taxpayer.street", &Taxpayer::street},
    {"taxpayer.number", &Taxpayer::number},
    {"taxpayer.complement", &Taxpayer::complement},
    {"taxpayer.district", &Taxpayer::district},
    {"taxpayer.city", &Taxpayer::city},
    {"taxpayer.postcode", &Taxpayer::postcode},
    {"taxpayer.regime", &Taxpayer::regime, Shape::kRegime},
};

constexpr TextItem<LastSale> kLastSaleItems[] = {
    {"last_sale.key", &LastSale::key, Shape::kKey},
    {"last_sale.time", &LastSale::time, Shape::kTime},
    {"last_sale.total", &LastSale::total},
    {"last_sale.buyer", &LastSale::buyer},
    {"last_sale.ie", &LastSale::ie},
};

struct NumberItem {
  const char* key;
  uint64_t DeviceState::*member;
  uint64_t max;
};

constexpr NumberItem kNumbers[] = {
    {"coupons_issued", &DeviceState::coupons_issued, kMaxCounter},
    {"coupons_cancelled", &DeviceState::coupons_cancelled, kMaxCounter},
    {"last_coupon_number", &DeviceState::last_coupon_number, kMaxCouponNumber},
    {"last_test_number", &DeviceState::last_test_number, kMaxCouponNumber},
};

constexpr const char* kActivationNames[] = {"factory", "awaiting-certificate", "active"};

// Keys every file has; the rest of a first-format file may be missing (it
// was written before they existed) and keeps its default.
constexpr const char* kRequiredAlways[] = {"activation", "lock"};

enum class Read { kNotMine, kRead, kBad };

template <typename Owner, size_t N>
Read ReadText(std::string_view key, std::string_view value, const TextItem<Owner> (&items)[N],
              Owner* owner, std::string* error) {
  for (const TextItem<Owner>& item : items) {
    if (key != item.key) continue;
    std::string text;
    if (!Unescape(value, &text)) return *error = "bad escape", Read::kBad;
    if (!Fits(text, item.shape)) return *error = "value out of range", Read::kBad;
    owner->*item.member = std::move(text);
    return Read::kRead;
  }
  return Read::kNotMine;
}

template <typename Owner, size_t N>
void WriteTexts(std::string& out, const TextItem<Owner> (&items)[N], const Owner& owner) {
  for (const TextItem<Owner>& item : items) {
    out += item.key;
    out += '=';
    out += Escape(owner.*item.member);
    out += '\n';
  }
}

// Items only a first-format file holds.
bool ReadLegacy(std::string_view key, std::string_view value, StoredState* stored,
                std::string* error) {
  std::string text;
  long long number = 0;
  if (key == "session") {
    const size_t space = value.find(' ');
    if (space == std::string_view::npos ||
        !ParseInteger(value.substr(0, space), INT32_MIN, INT32_MAX, &number) ||
        !Unescape(value.substr(space + 1), &text)) {
      return *error = "bad session reply", false;
    }
    stored->legacy.push_back({Entry::Kind::kSession, static_cast<int32_t>(number), text});
    return true;
  }
  if (!Unescape(value, &text)) return *error = "bad escape", false;
  stored->legacy.push_back({Entry::Kind::kEvent, 0, text});
  return true;
}

// Reads one "key=value" item; false with a reason when it is not one.
bool ReadItem(std::string_view key, std::string_view value, StoredState* stored,
              std::string* error) {
  DeviceState* state = &stored->state;
  long long number = 0;
  if (key == "activation") {
    for (size_t i = 0; i < std::size(kActivationNames); ++i) {
      if (value == kActivationNames[i]) {
        state->activation = static_cast<Activation>(i);
        return true;
      }
    }
    return *error = "unknown activation state (factory, awaiting-certificate or active)", false;
  }
  if (key == "lock") {
    if (!ParseInteger(value, kUnlocked, kLockDeactivation, &number)) {
      return *error = "lock state must be 0 to 4", false;
    }
    state->lock = static_cast<int>(number);
    return true;
  }
  if (key == "generation" && stored->format >= 2) {
    if (!ParseInteger(value, 0, LLONG_MAX, &number)) return *error = "bad generation", false;
    stored->generation = static_cast<uint64_t>(number);
    return true;
  }
  for (const NumberItem& item : kNumbers) {
    if (key != item.key) continue;
    if (!ParseInteger(value, 0, static_cast<long long>(item.max), &number)) {
      return *error = "must be a number from 0 to " + std::to_string(item.max), false;
    }
    state->*item.member = static_cast<uint64_t>(number);
    return true;
  }
  for (Read read : {ReadText(key, value, kTexts, state, error),
                    ReadText(key, value, kTaxpayerItems, &state->taxpayer, error),
                    ReadText(key, value, kLastSaleItems, &state->last_sale, error)}) {
    if (read != Read::kNotMine) return read == Read::kRead;
  }
  if (key.starts_with(kNetworkPrefix)) {
    const std::string name(key.substr(std::strlen(kNetworkPrefix)));
    std::string text;
    if (!IsNetworkElement(name)) return *error = "unknown network setting", false;
    if (!Unescape(value, &text)) return *error = "bad escape", false;
    state->network[name] = text;
    return true;
  }
  if (stored->format == 1 && (key == "session" || key == "event")) {
    return ReadLegacy(key, value, stored, error);
  }
  return *error = "unknown key (misspelled, or written by another satemu)", false;
}

// The keys a file of `format` must hold.
std::vector<std::string> RequiredKeys(int format) {
  std::vector<std::string> keys(std::begin(kRequiredAlways), std::end(kRequiredAlways));
  if (format < 2) return keys;
  keys.push_back("generation");
  for (const NumberItem& item : kNumbers) keys.push_back(item.key);
  for (const auto& item : kTexts) keys.push_back(item.key);
  for (const auto& item : kTaxpayerItems) keys.push_back(item.key);
  for (const auto& item : kLastSaleItems) keys.push_back(item.key);
  return keys;
}

// The format line, when the first item is one; 1 when there is none.
bool ReadFormat(std::string_view first_line, int* format, bool* consumed, std::string* error) {
  *format = 1;
  *consumed = first_line.starts_with("format=");
  if (!*consumed) return true;
  long long number = 0;
  if (!ParseInteger(first_line.substr(7), 1, INT_MAX, &number)) {
    return *error = "bad format number", false;
  }
  if (number > kFormat) {
    return *error = "format " + std::to_string(number) + " is from a newer satemu", false;
  }
  *format = static_cast<int>(number);
  return true;
}

}  // namespace

void Count(uint64_t* counter) {
  if (*counter < kMaxCounter) ++*counter;
}

bool ParseState(const std::string& text, const std::string& path, StoredState* stored,
                std::string* error) {
  const std::string advice = " (fix it, or move it away to start a new device)";
  if (text.empty()) return *error = path + ": empty" + advice, false;
  if (text.back() != '\n') return *error = path + ": cut short in its last line" + advice, false;
  StoredState loaded;
  std::set<std::string, std::less<>> seen;
  bool format_read = false;
  size_t begin = 0;
  for (int number = 1; begin < text.size(); ++number) {
    const size_t end = text.find('\n', begin);
    const std::string_view line = std::string_view(text).substr(begin, end - begin);
    begin = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::string reason;
    bool consumed = false;
    const size_t equals = line.find('=');
    const std::string_view key = line.substr(0, equals);
    bool ok = true;
    if (!format_read) {
      format_read = true;
      ok = ReadFormat(line, &loaded.format, &consumed, &reason);
    }
    if (ok && !consumed) {
      const bool repeatable = key == "session" || key == "event";
      if (equals == std::string_view::npos) {
        ok = false, reason = "not a key=value line";
      } else if (!repeatable && !seen.emplace(key).second) {
        ok = false, reason = "\"" + std::string(key) + "\" given twice";
      } else {
        ok = ReadItem(key, line.substr(equals + 1), &loaded, &reason);
      }
    }
    if (!ok) {
      *error =
          path + ":" + std::to_string(number) + ": " + Printable(key, 64) + ": " + reason + advice;
      return false;
    }
  }
  for (const std::string& key : RequiredKeys(loaded.format)) {
    if (!seen.contains(key)) {
      *error = path + ": lacks \"" + key + "\"" + advice;
      return false;
    }
  }
  *stored = std::move(loaded);
  return true;
}

std::string StateText(const DeviceState& state, uint64_t generation) {
  std::string out = "# satemu device state\nformat=" + std::to_string(kFormat) + "\n";
  out += "generation=" + std::to_string(generation) + "\n";
  out += "activation=" + std::string(kActivationNames[static_cast<int>(state.activation)]) + "\n";
  out += "lock=" + std::to_string(state.lock) + "\n";
  for (const NumberItem& item : kNumbers) {
    out += std::string(item.key) + "=" + std::to_string(state.*item.member) + "\n";
  }
  WriteTexts(out, kTexts, state);
  WriteTexts(out, kTaxpayerItems, state.taxpayer);
  WriteTexts(out, kLastSaleItems, state.last_sale);
  for (const auto& [name, value] : state.network) {
    if (IsNetworkElement(name)) out += kNetworkPrefix + name + "=" + Escape(value) + "\n";
  }
  return out;
}

}  // namespace satemu
