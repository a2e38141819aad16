// Network: ConfigurarInterfaceDeRede and its configuration document, an XML
// "config" element whose children are simple text elements.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <memory>

#include "device.h"
#include "text.h"

namespace satemu {
namespace {

using Settings = std::map<std::string, std::string>;

constexpr size_t kMaxDocument = 65536;
constexpr size_t kMaxValue = 255;

constexpr std::string_view kElements[] = {
    "tipoInter", "SSID",     "seguranca",   "codigo",     "tipoLan",     "lanIP",
    "lanMask",   "lanGW",    "lanDNS1",     "lanDNS2",    "usuario",     "senha",
    "proxy",     "proxy_ip", "proxy_porta", "proxy_user", "proxy_senha",
};

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

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

// The document's elements by name; nothing when it is not a configuration
// document (not XML, another root, unknown, repeated or nested elements).
std::optional<Settings> ReadDocument(std::string_view xml) {
  if (xml.empty() || xml.size() > kMaxDocument) return std::nullopt;
  std::unique_ptr<xmlDoc, DocDeleter> doc(
      xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  if (root == nullptr || xmlStrcmp(root->name, BAD_CAST "config") != 0) return std::nullopt;
  Settings settings;
  for (const xmlNode* node = root->children; node != nullptr; node = node->next) {
    if (node->type == XML_TEXT_NODE && xmlIsBlankNode(node)) continue;
    if (node->type == XML_COMMENT_NODE) continue;
    if (node->type != XML_ELEMENT_NODE) return std::nullopt;
    const std::string name(reinterpret_cast<const char*>(node->name));
    if (std::find(std::begin(kElements), std::end(kElements), name) == std::end(kElements) ||
        settings.contains(name)) {
      return std::nullopt;
    }
    std::string value;
    for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
      if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE) {
        return std::nullopt;
      }
      if (child->content != nullptr) value += reinterpret_cast<const char*>(child->content);
    }
    if (value.size() > kMaxValue) return std::nullopt;
    settings[name] = std::move(value);
  }
  return settings;
}

// What the device needs to come up on the network with these settings.
bool Usable(const Settings& settings) {
  auto value = [&](const char* name) {
    const auto it = settings.find(name);
    return it != settings.end() ? it->second : std::string();
  };
  const std::string interface = value("tipoInter"), lan = value("tipoLan");
  if (interface != "ETHE" && interface != "WIFI") return false;
  if (lan != "DHCP" && lan != "IPFIX" && lan != "PPPoE") return false;
  if (lan == "IPFIX") {
    for (const char* name : {"lanIP", "lanMask", "lanGW", "lanDNS1"}) {
      if (!ValidAddress(value(name))) return false;
    }
    if (!value("lanDNS2").empty() && !ValidAddress(value("lanDNS2"))) return false;
  }
  const std::string proxy = value("proxy");
  if (proxy.empty() || proxy == "0") return true;
  long long port = 0;
  return (proxy == "1" || proxy == "2") && ValidAddress(value("proxy_ip")) &&
         ParseInteger(value("proxy_porta"), 1, 65535, &port);
}

Reply ConfigurarInterfaceDeRede(Device& device, const Request& request) {
  const auto f = SplitFields(request.payload, 2);
  if (auto refusal = device.Refusal(request, f[0], {"12"}, Access::kFactoryCode)) {
    return *refusal;
  }
  std::optional<Settings> settings = f.size() == 2 ? ReadDocument(f[1]) : std::nullopt;
  if (!settings || !Usable(*settings)) {
    return Answer(request, "12002", "Dados fora do padrão a ser informado");
  }
  device.state().network = std::move(*settings);
  return Answer(request, "12000", "Rede Configurada com Sucesso");
}

}  // namespace

void AddNetwork(CommandTable& table) {
  table["ConfigurarInterfaceDeRede"] = ConfigurarInterfaceDeRede;
}

}  // namespace satemu
