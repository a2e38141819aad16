#include "core/address_checks.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace kovrad::manager {
namespace {

constexpr const char* kCaptions[] = {"IP SAT", "Máscara", "Gateway", "DNS1", "DNS2"};

std::string Refusal(NetworkSettings::Address field, const std::string& why) {
  return std::string(kCaptions[field]) + ": " + why + " Nada foi enviado ao SAT.";
}

bool Blank(std::string_view text) {
  return text.find_first_not_of(" .") == std::string_view::npos;
}

// The address in a field's text, four groups of 1 to 3 digits from 0 to 255;
// nothing when a group is missing, blank or too large.
std::optional<uint32_t> Parse(std::string_view text) {
  uint32_t address = 0;
  size_t at = 0;
  for (int group = 0; group < 4; ++group) {
    const size_t dot = group < 3 ? text.find('.', at) : text.size();
    if (dot == std::string_view::npos) return std::nullopt;
    std::string_view part = text.substr(at, dot - at);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
    if (part.empty() || part.size() > 3 ||
        part.find_first_not_of("0123456789") != std::string_view::npos) {
      return std::nullopt;
    }
    const uint32_t value = static_cast<uint32_t>(std::stoul(std::string(part)));
    if (value > 255) return std::nullopt;
    address = address << 8 | value;
    at = dot + 1;
  }
  return address;
}

// Not 0.x, loopback, multicast or reserved, nor the broadcast address.
bool Unicast(uint32_t address) {
  const uint32_t first = address >> 24;
  return first != 0 && first != 127 && first < 224;
}

bool RunOfOnes(uint32_t mask) {
  const uint32_t hosts = ~mask;
  return (hosts & (hosts + 1)) == 0;
}

}  // namespace

std::optional<std::string> CheckFixedAddresses(const NetworkSettings& settings) {
  using A = NetworkSettings::Address;
  if (settings.dhcp) return std::nullopt;
  std::array<std::optional<uint32_t>, 5> parsed;
  for (int f = A::kIp; f <= A::kDns2; ++f) {
    const std::string& text = settings.addresses[f];
    if (f == A::kDns2 && (Blank(text) || Parse(text) == 0u)) continue;
    parsed[f] = Parse(text);
    if (!parsed[f]) {
      return Refusal(A(f),
                     "preencha os quatro números do endereço, cada um de 0 a 255 (ex.: "
                     "192.168.0.10).");
    }
  }
  const uint32_t ip = *parsed[A::kIp];
  const uint32_t mask = *parsed[A::kMask];
  const uint32_t gateway = *parsed[A::kGateway];
  if (!RunOfOnes(mask) || mask == 0 || ~mask < 3) {
    return Refusal(A::kMask,
                   "não é uma máscara de rede (ex.: 255.255.255.0): uns seguidos de zeros, com "
                   "lugar para pelo menos dois aparelhos.");
  }
  const auto host_of_network = [mask](uint32_t address, uint32_t network) {
    return (address & mask) == network && (address & ~mask) != 0 && (address & ~mask) != ~mask;
  };
  if (!Unicast(ip) || !host_of_network(ip, ip & mask)) {
    return Refusal(A::kIp,
                   "não é um endereço que o SAT possa usar nesta rede (nem o da própria rede, "
                   "nem o de difusão, nem 0, 127 ou acima de 223 no primeiro número).");
  }
  if (!Unicast(gateway) || !host_of_network(gateway, ip & mask)) {
    return Refusal(A::kGateway, "deve ser outro endereço da mesma rede do IP SAT, pela máscara.");
  }
  if (gateway == ip) return Refusal(A::kGateway, "não pode ser o próprio IP SAT.");
  for (A dns : {A::kDns1, A::kDns2}) {
    if (parsed[dns] && !Unicast(*parsed[dns])) {
      return Refusal(dns, "não é o endereço de um servidor DNS (ex.: 8.8.8.8).");
    }
  }
  return std::nullopt;
}

}  // namespace kovrad::manager
