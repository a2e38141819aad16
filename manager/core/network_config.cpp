#include "core/network_config.h"

#include <libxml/tree.h>

#include <cstdio>
#include <memory>
#include <new>

#include "client/binding.h"
#include "core/run_state.h"

namespace kovrad::manager {
namespace {

constexpr char kNoAddress[] = "000.000.000.000";
constexpr int kGroups = 4;
// Enough digits for any group a field can hold, and no overflow beyond them.
constexpr int kLargestGroup = 999999999;

struct DocumentDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

int GroupValue(std::string_view group) {
  size_t i = group.find_first_not_of(" \t");
  int value = 0;
  for (; i < group.size() && group[i] >= '0' && group[i] <= '9'; ++i) {
    if (value <= kLargestGroup / 10) value = value * 10 + (group[i] - '0');
  }
  return value;
}

}  // namespace

std::string NormaliseAddress(std::string_view field) {
  int values[kGroups] = {};
  for (int& value : values) {
    const size_t dot = field.find('.');
    value = GroupValue(field.substr(0, dot));
    if (dot == std::string_view::npos) break;
    field.remove_prefix(dot + 1);
  }
  char text[48];
  std::snprintf(text, sizeof text, "%03d.%03d.%03d.%03d", values[0], values[1], values[2],
                values[3]);
  return text;
}

std::string NetworkDocument(const NetworkSettings& settings) {
  std::unique_ptr<xmlDoc, DocumentDeleter> doc(xmlNewDoc(BAD_CAST "1.0"));
  xmlNode* root = doc ? xmlNewDocNode(doc.get(), nullptr, BAD_CAST "config", nullptr) : nullptr;
  if (root == nullptr) throw std::bad_alloc();
  xmlDocSetRootElement(doc.get(), root);
  // A null content makes an element without content: <name/>.
  const auto add = [root](const char* name, const char* content) {
    if (xmlNewTextChild(root, nullptr, BAD_CAST name, BAD_CAST content) == nullptr) {
      throw std::bad_alloc();
    }
  };

  add("tipoInter", "ETHE");
  add("tipoLan", settings.dhcp ? "DHCP" : "IPFIX");
  if (settings.dhcp) {
    add("usuario", settings.user.c_str());
    add("senha", settings.password.c_str());
  } else {
    static constexpr const char* kNames[] = {"lanIP", "lanMask", "lanGW", "lanDNS1", "lanDNS2"};
    for (size_t i = 0; i < settings.addresses.size(); ++i) {
      add(kNames[i], NormaliseAddress(settings.addresses[i]).c_str());
    }
  }
  static constexpr const char* kProxyNames[] = {"proxy_ip", "proxy_porta", "proxy_user",
                                                "proxy_senha"};
  if (settings.proxy == 0) {
    add("proxy", "0");
    for (const char* name : kProxyNames) add(name, nullptr);
  } else {
    add("proxy", settings.proxy == 1 ? "1" : "2");
    std::string address = NormaliseAddress(settings.proxy_address);
    if (address == kNoAddress) address.clear();
    const std::string* values[] = {&address, &settings.proxy_port, &settings.proxy_user,
                                   &settings.proxy_password};
    for (size_t i = 0; i < std::size(kProxyNames); ++i) add(kProxyNames[i], values[i]->c_str());
  }

  xmlChar* text = nullptr;
  int size = 0;
  xmlDocDumpMemory(doc.get(), &text, &size);
  if (text == nullptr) throw std::bad_alloc();
  std::string document(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
  xmlFree(text);
  return document;
}

NetworkOutcome ConfigureNetwork(client::Library& library, const std::string& code,
                                const std::string& document) {
  const client::Reply reply = KOVRAD_SAT(library, ConfigurarInterfaceDeRede, kSessionNumber,
                                         code.c_str(), document.c_str());
  NetworkOutcome outcome;
  outcome.accepted = reply.called && reply.text.find("Sucesso") != std::string::npos;
  outcome.message = client::ReportAfterCall(library, reply);
  return outcome;
}

}  // namespace kovrad::manager
