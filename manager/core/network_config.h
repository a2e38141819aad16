// The device's network settings: the configuration document built from the
// operator's choices, and its sending with ConfigurarInterfaceDeRede.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kovrad::client {
class Library;
}  // namespace kovrad::client

namespace kovrad::manager {

// What the network window holds; texts as typed (UTF-8).
struct NetworkSettings {
  enum Address { kIp, kMask, kGateway, kDns1, kDns2 };
  bool dhcp = true;
  std::string user;
  std::string password;
  // The address fields' texts, in the order of Address.
  std::array<std::string, 5> addresses;
  // The proxy list's item: 0 none, 1 authenticated, 2 transparent; -1 when
  // typed text matches no item.
  int proxy = 0;
  std::string proxy_address;
  std::string proxy_port;
  std::string proxy_user;
  std::string proxy_password;
};

// "%03d.%03d.%03d.%03d" from an address field's text: four groups split at
// the dots, leading blanks skipped, each read up to its first non-digit, and
// missing or blank groups 0. No range check: "999" stays "999".
std::string NormaliseAddress(std::string_view field);

// The configuration document as the device reads it: an XML declaration, a
// line feed, the "config" element on one line and a final line feed. Texts
// are escaped where markup needs it; letters outside ASCII become character
// references.
std::string NetworkDocument(const NetworkSettings& settings);

struct NetworkOutcome {
  bool accepted = false;  // the reply says "Sucesso"
  std::string message;
};

// Sends `document` with `code` (Windows-1252).
NetworkOutcome ConfigureNetwork(client::Library& library, const std::string& code,
                                const std::string& document);

}  // namespace kovrad::manager
