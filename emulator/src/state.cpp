#include "state.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "text.h"

namespace satemu {
namespace {

constexpr int kFormat = 1;
constexpr char kNetworkPrefix[] = "net.";

struct TextItem {
  const char* key;
  std::string DeviceState::*member;
};

constexpr TextItem kTexts[] = {
    {"activation_code", &DeviceState::activation_code},
    {"emergency_code", &DeviceState::emergency_code},
    {"taxpayer_cnpj", &DeviceState::taxpayer_cnpj},
    {"state_code", &DeviceState::state_code},
    {"software_house_cnpj", &DeviceState::software_house_cnpj},
    {"signature", &DeviceState::signature},
    {"last_coupon_key", &DeviceState::last_coupon_key},
    {"certificate_issued", &DeviceState::certificate_issued},
    {"certificate_expires", &DeviceState::certificate_expires},
    {"last_transmission", &DeviceState::last_transmission},
    {"last_contact", &DeviceState::last_contact},
    {"certificate_request", &DeviceState::certificate_request},
    {"software_version", &DeviceState::software_version},
};

struct NumberItem {
  const char* key;
  uint64_t DeviceState::*member;
};

constexpr NumberItem kNumbers[] = {
    {"coupons_issued", &DeviceState::coupons_issued},
    {"coupons_cancelled", &DeviceState::coupons_cancelled},
    {"last_coupon_number", &DeviceState::last_coupon_number},
    {"last_test_number", &DeviceState::last_test_number},
};

// Items of a group kept in a member of the state, under "<prefix>.<name>".
template <typename Group>
struct GroupItem {
  const char* name;
  std::string Group::*member;
};

constexpr GroupItem<Taxpayer> kTaxpayerItems[] = {
    {"ie", &Taxpayer::ie},
    {"name", &Taxpayer::name},
    {"trade_name", &Taxpayer::trade_name},
    {"street", &Taxpayer::street},
    {"number", &Taxpayer::number},
    {"complement", &Taxpayer::complement},
    {"district", &Taxpayer::district},
    {"city", &Taxpayer::city},
    {"postcode", &Taxpayer::postcode},
    {"regime", &Taxpayer::regime},
};

constexpr GroupItem<LastSale> kLastSaleItems[] = {
    {"key", &LastSale::key},     {"time", &LastSale::time}, {"total", &LastSale::total},
    {"buyer", &LastSale::buyer}, {"ie", &LastSale::ie},
};

enum class GroupRead { kNotInGroup, kRead, kBad };

// Reads "<prefix>.<name>" into its member.
template <typename Group, size_t N>
GroupRead ReadGroupItem(std::string_view key, std::string_view value, std::string_view prefix,
                        const GroupItem<Group> (&items)[N], Group* group) {
  if (!key.starts_with(prefix) || key.size() <= prefix.size() || key[prefix.size()] != '.') {
    return GroupRead::kNotInGroup;
  }
  for (const GroupItem<Group>& item : items) {
    if (key.substr(prefix.size() + 1) == item.name) {
      return Unescape(value, &(group->*item.member)) ? GroupRead::kRead : GroupRead::kBad;
    }
  }
  return GroupRead::kNotInGroup;
}

template <typename Group, size_t N>
void WriteGroup(std::ostream& out, std::string_view prefix, const GroupItem<Group> (&items)[N],
                const Group& group) {
  for (const GroupItem<Group>& item : items) {
    out << prefix << '.' << item.name << '=' << Escape(group.*item.member) << '\n';
  }
}

constexpr const char* kActivationNames[] = {"factory", "awaiting-certificate", "active"};

// Reads one "key=value" item into `state`; false with a reason when damaged.
bool ReadItem(std::string_view key, std::string_view value, DeviceState* state,
              std::string* error) {
  long long number = 0;
  std::string text;
  if (key == "format") {
    if (!ParseInteger(value, 1, INT_MAX, &number)) return *error = "bad format number", false;
    if (number > kFormat) return *error = "written by a newer satemu", false;
    return true;
  }
  if (key == "activation") {
    for (size_t i = 0; i < std::size(kActivationNames); ++i) {
      if (value == kActivationNames[i]) {
        state->activation = static_cast<Activation>(i);
        return true;
      }
    }
    return *error = "unknown activation state", false;
  }
  if (key == "lock") {
    if (!ParseInteger(value, kUnlocked, kLockDeactivation, &number)) {
      return *error = "lock state must be 0 to 4", false;
    }
    state->lock = static_cast<int>(number);
    return true;
  }
  for (const TextItem& item : kTexts) {
    if (key == item.key) {
      if (!Unescape(value, &(state->*item.member))) return *error = "bad escape", false;
      return true;
    }
  }
  for (const NumberItem& item : kNumbers) {
    if (key == item.key) {
      if (!ParseInteger(value, 0, LLONG_MAX, &number)) return *error = "bad number", false;
      state->*item.member = static_cast<uint64_t>(number);
      return true;
    }
  }
  for (GroupRead read :
       {ReadGroupItem(key, value, "taxpayer", kTaxpayerItems, &state->taxpayer),
        ReadGroupItem(key, value, "last_sale", kLastSaleItems, &state->last_sale)}) {
    if (read == GroupRead::kBad) return *error = "bad escape", false;
    if (read == GroupRead::kRead) return true;
  }
  if (key.starts_with(kNetworkPrefix)) {
    if (!Unescape(value, &text)) return *error = "bad escape", false;
    state->network[std::string(key.substr(std::strlen(kNetworkPrefix)))] = text;
    return true;
  }
  if (key == "session") {
    const size_t space = value.find(' ');
    if (space == std::string_view::npos ||
        !ParseInteger(value.substr(0, space), INT32_MIN, INT32_MAX, &number) ||
        !Unescape(value.substr(space + 1), &text)) {
      return *error = "bad session reply", false;
    }
    state->RememberSession(static_cast<int32_t>(number), std::move(text));
    return true;
  }
  if (key == "event") {
    if (!Unescape(value, &text)) return *error = "bad escape", false;
    state->AddEvent(std::move(text));
    return true;
  }
  state->other.emplace_back(key, value);
  return true;
}

}  // namespace

void DeviceState::RememberSession(int32_t session, std::string reply) {
  std::erase_if(sessions, [session](const auto& s) { return s.first == session; });
  sessions.emplace_back(session, std::move(reply));
  size_t bytes = 0;
  for (const auto& kept : sessions) bytes += kept.second.size();
  while (sessions.size() > kSessionsKept || (sessions.size() > 1 && bytes > kSessionBytesKept)) {
    bytes -= sessions.front().second.size();
    sessions.pop_front();
  }
}

const std::string* DeviceState::FindSession(int32_t session) const {
  for (const auto& [number, reply] : sessions) {
    if (number == session) return &reply;
  }
  return nullptr;
}

void DeviceState::AddEvent(std::string record) {
  events.push_back(std::move(record));
  while (events.size() > kEventsKept) events.pop_front();
}

bool LoadState(const std::string& path, DeviceState* state, bool* found, std::string* error) {
  std::error_code ec;
  *found = std::filesystem::exists(path, ec);
  if (!*found && !ec) return true;
  std::ifstream in(path, std::ios::binary);
  if (ec || !in) {
    *error = path + ": cannot be read";
    return false;
  }
  DeviceState loaded;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    std::string reason = "not a key=value line";
    if (equals == std::string::npos ||
        !ReadItem(std::string_view(line).substr(0, equals),
                  std::string_view(line).substr(equals + 1), &loaded, &reason)) {
      *error = path + ":" + std::to_string(number) + ": " + reason;
      return false;
    }
  }
  if (in.bad()) {
    *error = path + ": read error";
    return false;
  }
  *state = std::move(loaded);
  return true;
}

bool SaveState(const std::string& path, const DeviceState& state, std::string* error) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << "# satemu device state\nformat=" << kFormat << '\n';
    out << "activation=" << kActivationNames[static_cast<int>(state.activation)] << '\n';
    out << "lock=" << state.lock << '\n';
    for (const TextItem& item : kTexts) {
      out << item.key << '=' << Escape(state.*item.member) << '\n';
    }
    for (const NumberItem& item : kNumbers) out << item.key << '=' << state.*item.member << '\n';
    WriteGroup(out, "taxpayer", kTaxpayerItems, state.taxpayer);
    WriteGroup(out, "last_sale", kLastSaleItems, state.last_sale);
    for (const auto& [name, value] : state.network) {
      out << kNetworkPrefix << Printable(name, 64) << '=' << Escape(value) << '\n';
    }
    for (const auto& [session, reply] : state.sessions) {
      out << "session=" << session << ' ' << Escape(reply) << '\n';
    }
    for (const std::string& event : state.events) out << "event=" << Escape(event) << '\n';
    for (const auto& [key, value] : state.other) out << key << '=' << value << '\n';
    out.flush();
    if (!out) {
      *error = temporary + ": cannot write";
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace satemu
