// The network configuration a device accepts: the element names of the
// standard's document, and each rule of its modes.
#include <gtest/gtest.h>

#include <string>

#include "network_settings.h"

namespace satemu {
namespace {

std::string Document(const NetworkSettings& settings) {
  std::string xml = "<?xml version=\"1.0\"?>\n<config>";
  for (const auto& [name, value] : settings) xml += "<" + name + ">" + value + "</" + name + ">";
  return xml + "</config>\n";
}

// The rule broken, or "" when the document is accepted.
std::string Refusal(const NetworkSettings& settings) {
  std::string error;
  const auto read = ReadNetworkDocument(Document(settings), &error);
  if (!read) return "not read: " + error;
  return CheckNetwork(*read, &error) ? "" : error;
}

const NetworkSettings kWifi = {
    {"tipoInter", "WIFI"},
    {"SSID", "LOJA-01"},
    {"seg", "WPA-PERSONAL"},
    {"codigo", "segredo123"},
    {"tipoLan", "IPFIX"},
    {"lanIP", "192.168.001.010"},
    {"lanMask", "255.255.255.000"},
    {"lanGW", "192.168.001.001"},
    {"lanDNS1", "008.008.008.008"},
    {"lanDNS2", "000.000.000.000"},
    {"proxy", "1"},
    {"proxy_ip", "010.000.000.001"},
    {"proxy_porta", "3128"},
    {"proxy_user", "u"},
    {"proxy_senha", "p"},
};

NetworkSettings With(NetworkSettings settings, const std::string& name, const std::string& value) {
  settings[name] = value;
  return settings;
}
NetworkSettings Without(NetworkSettings settings, const std::string& name) {
  settings.erase(name);
  return settings;
}

TEST(NetworkSettings, CompleteDocumentsOfEveryModeAreAccepted) {
  EXPECT_EQ(Refusal(kWifi), "");
  const NetworkSettings enterprise =
      With(With(With(Without(kWifi, "codigo"), "seg", "WPA-ENTERPRISE"), "usuario", "loja"),
           "senha", "x");
  EXPECT_EQ(Refusal(enterprise), "");
  EXPECT_EQ(Refusal(With(Without(kWifi, "codigo"), "seg", "NONE")), "");
  // DHCP with the addresses a form still sent: accepted, the addresses unused.
  EXPECT_EQ(Refusal(With(With(kWifi, "tipoLan", "DHCP"), "lanIP", "   .   .   .   ")), "");
  // The manager's DHCP document without proxy.
  EXPECT_EQ(Refusal({{"tipoInter", "ETHE"},
                     {"tipoLan", "DHCP"},
                     {"usuario", ""},
                     {"senha", ""},
                     {"proxy", "0"},
                     {"proxy_ip", ""},
                     {"proxy_porta", ""},
                     {"proxy_user", ""},
                     {"proxy_senha", ""}}),
            "");
  EXPECT_EQ(Refusal(With(With(With(kWifi, "tipoLan", "PPPOE"), "usuario", "a"), "senha", "b")), "");
}

TEST(NetworkSettings, EachRuleBrokenOnceIsRefusedWithItsReason) {
  const std::pair<NetworkSettings, std::string> broken[] = {
      {With(kWifi, "tipoInter", "CABO"), "tipoInter"},
      {Without(kWifi, "tipoInter"), "tipoInter"},
      {Without(kWifi, "SSID"), "SSID obrigatório"},
      {With(kWifi, "SSID", std::string(33, 'x')), "SSID com mais"},
      {With(kWifi, "seg", "WPA3"), "seg"},
      {Without(kWifi, "codigo"), "codigo obrigatório"},
      {With(Without(kWifi, "codigo"), "seg", "WPA-ENTERPRISE"), "usuario obrigatório"},
      {With(kWifi, "tipoLan", "ESTATICO"), "tipoLan"},
      {With(kWifi, "tipoLan", "PPPOE"), "usuario obrigatório em PPPOE"},
      {With(kWifi, "lanIP", "999.168.001.010"), "lanIP"},
      {Without(kWifi, "lanGW"), "lanGW"},
      {With(kWifi, "lanDNS2", "8.8.8"), "lanDNS2"},
      // Well formed, yet no network a device can work in.
      {With(kWifi, "lanIP", "001.000.000.000"), "lanIP"},
      {With(kWifi, "lanMask", "192.168.000.001"), "lanMask"},
      {With(kWifi, "lanMask", "255.255.255.255"), "lanMask"},
      {With(kWifi, "lanIP", "192.168.001.255"), "lanIP"},
      {With(kWifi, "lanGW", "010.000.000.001"), "lanGW"},
      {With(kWifi, "lanGW", "192.168.001.010"), "lanGW"},
      {With(kWifi, "lanDNS1", "000.000.000.000"), "lanDNS1"},
      {With(kWifi, "proxy", "3"), "proxy"},
      {With(kWifi, "proxy_ip", ""), "proxy_ip"},
      {With(kWifi, "proxy_porta", "70000"), "proxy_porta"},
      {With(kWifi, "seguranca", "WPA"), "<seguranca> desconhecido"},
  };
  for (const auto& [settings, reason] : broken) {
    const std::string refusal = Refusal(settings);
    EXPECT_NE(refusal.find(reason), std::string::npos) << reason << ": " << refusal;
  }
}

}  // namespace
}  // namespace satemu
