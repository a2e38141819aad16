#include "network_settings.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <initializer_list>
#include <memory>

#include "text.h"

namespace satemu {
namespace {

constexpr size_t kMaxDocument = 65536;
constexpr size_t kMaxValue = 255;
constexpr size_t kMaxSsid = 32;

constexpr std::string_view kElements[] = {
    "tipoInter", "SSID",     "seg",         "codigo",     "tipoLan",     "lanIP",
    "lanMask",   "lanGW",    "lanDNS1",     "lanDNS2",    "usuario",     "senha",
    "proxy",     "proxy_ip", "proxy_porta", "proxy_user", "proxy_senha",
};

// Wi-Fi security modes; the last one authenticates with usuario and senha.
constexpr std::string_view kOpen = "NONE";
constexpr std::string_view kEnterprise = "WPA-ENTERPRISE";
constexpr std::string_view kSecurity[] = {kOpen, "WEP", "WPA-PERSONAL", kEnterprise};

// Four groups of one to three digits, each at most 255: "192.168.001.010".
bool ValidAddress(std::string_view text) {
  for (int groups = 1;; ++groups) {
    const size_t dot = text.find('.');
    const std::string_view group = text.substr(0, dot);
    long long value = 0;
    if (group.empty() || group.size() > 3 || !ParseInteger(group, 0, 255, &value)) return false;
    if (dot == std::string_view::npos) return groups == 4;
    if (groups == 4) return false;
    text.remove_prefix(dot + 1);
  }
}

// The address of a text ValidAddress accepts.
uint32_t AddressValue(std::string_view text) {
  uint32_t value = 0;
  for (int group = 0; group < 4; ++group) {
    const size_t dot = text.find('.');
    long long part = 0;
    ParseInteger(text.substr(0, dot), 0, 255, &part);
    value = value << 8 | static_cast<uint32_t>(part);
    if (dot != std::string_view::npos) text.remove_prefix(dot + 1);
  }
  return value;
}

// Not 0.x, loopback, multicast or reserved.
bool Unicast(uint32_t address) {
  const uint32_t first = address >> 24;
  return first != 0 && first != 127 && first < 224;
}

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

class Rules {
 public:
  Rules(const NetworkSettings& settings, std::string* error) : settings_(settings), error_(error) {}

  std::string Value(const char* name) const {
    const auto it = settings_.find(name);
    return it != settings_.end() ? it->second : std::string();
  }
  bool OneOf(const char* name, std::initializer_list<std::string_view> choices) {
    const std::string value = Value(name);
    if (std::find(choices.begin(), choices.end(), value) != choices.end()) return true;
    return Fail(std::string(name) + " \"" + Printable(value, 32) + "\" não é um valor aceito");
  }
  bool Present(std::initializer_list<const char*> names, const std::string& why) {
    for (const char* name : names) {
      if (Value(name).empty()) return Fail(std::string(name) + " obrigatório " + why);
    }
    return true;
  }
  bool Addresses(std::initializer_list<const char*> names, bool optional = false) {
    for (const char* name : names) {
      const std::string value = Value(name);
      if (optional && value.empty()) continue;
      if (!ValidAddress(value)) {
        return Fail(std::string(name) + " \"" + Printable(value, 32) + "\" não é um endereço IP");
      }
    }
    return true;
  }
  bool Fail(std::string reason) {
    *error_ = std::move(reason);
    return false;
  }

 private:
  const NetworkSettings& settings_;
  std::string* error_;
};

bool CheckWifi(Rules& rules) {
  const std::string ssid = rules.Value("SSID");
  if (!rules.Present({"SSID", "seg"}, "em rede Wi-Fi")) return false;
  if (ssid.size() > kMaxSsid) return rules.Fail("SSID com mais de 32 caracteres");
  const std::string security = rules.Value("seg");
  if (std::find(std::begin(kSecurity), std::end(kSecurity), security) == std::end(kSecurity)) {
    return rules.Fail("seg \"" + Printable(security, 32) + "\" não é um valor aceito");
  }
  if (security == kEnterprise) return rules.Present({"usuario", "senha"}, "em WPA-ENTERPRISE");
  if (security != kOpen) return rules.Present({"codigo"}, "em rede Wi-Fi protegida");
  return true;
}

// A device cannot work with a mask that is no run of ones, an address that
// is no host of its network, or a gateway outside it.
bool CheckFixedNetwork(Rules& rules) {
  const uint32_t ip = AddressValue(rules.Value("lanIP"));
  const uint32_t mask = AddressValue(rules.Value("lanMask"));
  const uint32_t gateway = AddressValue(rules.Value("lanGW"));
  const uint32_t hosts = ~mask;
  if (mask == 0 || (hosts & (hosts + 1)) != 0 || hosts < 3) {
    return rules.Fail("lanMask \"" + rules.Value("lanMask") + "\" não é uma máscara de rede");
  }
  const auto host = [mask, hosts, network = ip & mask](uint32_t address) {
    return Unicast(address) && (address & mask) == network && (address & hosts) != 0 &&
           (address & hosts) != hosts;
  };
  if (!host(ip)) return rules.Fail("lanIP \"" + rules.Value("lanIP") + "\" fora da rede");
  if (!host(gateway) || gateway == ip) {
    return rules.Fail("lanGW \"" + rules.Value("lanGW") + "\" fora da rede de lanIP");
  }
  if (!Unicast(AddressValue(rules.Value("lanDNS1")))) {
    return rules.Fail("lanDNS1 \"" + rules.Value("lanDNS1") + "\" não é um endereço de servidor");
  }
  return true;
}

bool CheckLan(Rules& rules) {
  const std::string lan = rules.Value("tipoLan");
  if (lan == "IPFIX") {
    return rules.Addresses({"lanIP", "lanMask", "lanGW", "lanDNS1"}) &&
           rules.Addresses({"lanDNS2"}, true) && CheckFixedNetwork(rules);
  }
  if (lan == "PPPOE" || lan == "PPPoE") return rules.Present({"usuario", "senha"}, "em PPPOE");
  return rules.OneOf("tipoLan", {"DHCP"});
}

bool CheckProxy(Rules& rules) {
  const std::string proxy = rules.Value("proxy");
  if (proxy.empty() || proxy == "0") return true;
  if (!rules.OneOf("proxy", {"1", "2"})) return false;
  long long port = 0;
  if (!rules.Addresses({"proxy_ip"})) return false;
  if (!ParseInteger(rules.Value("proxy_porta"), 1, 65535, &port)) {
    return rules.Fail("proxy_porta deve ser de 1 a 65535");
  }
  return true;
}

}  // namespace

bool IsNetworkElement(std::string_view name) {
  return std::find(std::begin(kElements), std::end(kElements), name) != std::end(kElements);
}

std::optional<NetworkSettings> ReadNetworkDocument(std::string_view xml, std::string* error) {
  *error = "documento de configuração inválido";
  if (xml.empty() || xml.size() > kMaxDocument) return std::nullopt;
  std::unique_ptr<xmlDoc, DocDeleter> doc(
      xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  if (root == nullptr || xmlStrcmp(root->name, BAD_CAST "config") != 0) return std::nullopt;
  NetworkSettings settings;
  for (const xmlNode* node = root->children; node != nullptr; node = node->next) {
    if (node->type == XML_TEXT_NODE && xmlIsBlankNode(node)) continue;
    if (node->type == XML_COMMENT_NODE) continue;
    if (node->type != XML_ELEMENT_NODE) return std::nullopt;
    const std::string name(reinterpret_cast<const char*>(node->name));
    if (!IsNetworkElement(name)) {
      *error = "elemento <" + Printable(name, 32) + "> desconhecido";
      return std::nullopt;
    }
    if (settings.contains(name)) {
      *error = "elemento <" + name + "> repetido";
      return std::nullopt;
    }
    std::string value;
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
      if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE) {
        return std::nullopt;
      }
      if (child->content != nullptr) value += reinterpret_cast<const char*>(child->content);
    }
    if (value.size() > kMaxValue) {
      *error = "elemento <" + name + "> longo demais";
      return std::nullopt;
    }
    settings[name] = std::move(value);
  }
  return settings;
}

bool CheckNetwork(const NetworkSettings& settings, std::string* error) {
  Rules rules(settings, error);
  if (!rules.OneOf("tipoInter", {"ETHE", "WIFI"})) return false;
  if (rules.Value("tipoInter") == "WIFI" && !CheckWifi(rules)) return false;
  return CheckLan(rules) && CheckProxy(rules);
}

}  // namespace satemu
