// Queries: ConsultarSAT, ConsultarStatusOperacional, ConsultarNumeroSessao
// and ExtrairLogs. None of them changes the device.
#include <algorithm>
#include <cstdio>

#include "access_key.h"
#include "device.h"
#include "text.h"

namespace satemu {
namespace {

const std::string kNoKey(44, '0');
const std::string kNever(14, '0');
const std::string kNoDate(8, '0');

// Addresses a DHCP server hands the device.
constexpr const char* kLease[] = {"192.168.000.100", "255.255.255.000", "192.168.000.001",
                                  "192.168.000.001", "008.008.008.008"};
constexpr const char* kFixedAddresses[] = {"lanIP", "lanMask", "lanGW", "lanDNS1", "lanDNS2"};
constexpr char kNoAddress[] = "000.000.000.000";

// Every status field must hold something: the reader stops at the first
// empty one.
std::string OrDefault(const std::string& value, const std::string& fallback) {
  return value.empty() ? fallback : value;
}

// A stable, locally administered address made from the serial number.
std::string MacAddress(const std::string& serial) {
  uint32_t hash = 2166136261u;
  for (char c : serial) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  char text[18];
  std::snprintf(text, sizeof text, "02:4B:56:%02X:%02X:%02X", (hash >> 16) & 0xFF,
                (hash >> 8) & 0xFF, hash & 0xFF);
  return text;
}

// The keys of the first and last coupon waiting for transmission: the
// device's last coupons, numbered back from the last one.
std::pair<std::string, std::string> PendingList(Device& device) {
  const DeviceState& s = device.state();
  const uint64_t count = device.untransmitted();
  if (count == 0) return {kNoKey, kNoKey};
  const uint64_t last = std::max(s.last_coupon_number, count) % kMaxCouponNumber;
  const uint64_t first = (last + kMaxCouponNumber - count) % kMaxCouponNumber + 1;
  const std::string month = Timestamp(device.Now()).substr(2, 4);
  const auto key = [&](uint64_t number) {
    const std::string made = AccessKey({OrDefault(s.state_code, kTestStateCode), month,
                                        OrDefault(s.taxpayer_cnpj, kTestTaxpayerCnpj),
                                        device.serial(), static_cast<int>(number), 0});
    return made.empty() ? kNoKey : made;
  };
  return {key(first), key(last == 0 ? kMaxCouponNumber : last)};
}

Reply ConsultarSAT(Device&, const Request& request) {
  return Answer(request, "08000", "SAT em operação");
}

Reply ConsultarStatusOperacional(Device& device, const Request& request) {
  if (auto refusal = device.Refusal(request, request.payload, {"10"}, Access::kFactoryCode)) {
    return *refusal;
  }
  const DeviceState& s = device.state();
  const auto lan_type = s.network.find("tipoLan");
  const bool fixed = lan_type != s.network.end() && lan_type->second == "IPFIX";
  std::string addresses[std::size(kFixedAddresses)];
  for (size_t i = 0; i < std::size(kFixedAddresses); ++i) {
    const auto value = s.network.find(kFixedAddresses[i]);
    addresses[i] = !fixed                                               ? kLease[i]
                   : value != s.network.end() && !value->second.empty() ? value->second
                                                                        : kNoAddress;
  }
  const std::string used = std::to_string(64 + 4 * (s.coupons_issued + s.coupons_cancelled));
  const auto [first_pending, last_pending] = PendingList(device);
  const std::string fields[] = {
      "Resposta com Sucesso",
      "0000",
      "Sem mensagens",
      device.serial(),
      lan_type != s.network.end() ? lan_type->second : "DHCP",
      addresses[0],
      MacAddress(device.serial()),
      addresses[1],
      addresses[2],
      addresses[3],
      addresses[4],
      "CONECTADO",
      "ALTO",
      "4 GB",
      used + " KB",
      Timestamp(device.Now()),
      OrDefault(s.software_version, "01.00.00"),
      "00.08",
      OrDefault(s.last_coupon_key, kNoKey),
      first_pending,
      last_pending,
      OrDefault(s.last_transmission, kNever),
      OrDefault(s.last_contact, kNever),
      OrDefault(s.certificate_issued, kNoDate),
      OrDefault(s.certificate_expires, kNoDate),
      std::to_string(s.lock),
  };
  return Fields(request, "10000",
                std::vector<std::string_view>(std::begin(fields), std::end(fields)));
}

Reply ConsultarNumeroSessao(Device& device, const Request& request) {
  const auto fields = SplitFields(request.payload, 2);
  if (auto refusal = device.Refusal(request, fields[0], {"11"}, Access::kActivated)) {
    return *refusal;
  }
  long long session = 0;
  const std::string* reply =
      fields.size() == 2 && ParseInteger(fields[1], INT32_MIN, INT32_MAX, &session)
          ? device.history().FindSession(static_cast<int32_t>(session))
          : nullptr;
  if (reply == nullptr) return Answer(request, "11003", "Sessão não existe");
  return {"11000", *reply, {}};
}

Reply ExtrairLogs(Device& device, const Request& request) {
  if (auto refusal = device.Refusal(request, request.payload, {"15"}, Access::kFactoryCode)) {
    return *refusal;
  }
  const History& history = device.history();
  std::string log = "LOG SAT " + device.serial() + " " + Timestamp(device.Now()) + " " +
                    std::to_string(history.events.size()) + " registros\n";
  for (const std::string& record : history.events) log += record + "\n";
  return Answer(request, "15000", "Transferência completa", {Base64Encode(log)});
}

}  // namespace

void AddQueries(CommandTable& table) {
  table["ConsultarSAT"] = ConsultarSAT;
  table["ConsultarStatusOperacional"] = ConsultarStatusOperacional;
  table["ConsultarNumeroSessao"] = ConsultarNumeroSessao;
  table["ExtrairLogs"] = ExtrairLogs;
}

}  // namespace satemu
