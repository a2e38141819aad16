// The network configuration document and its sending.
#include <gtest/gtest.h>

#include <string>

#include "core/address_checks.h"
#include "core/network_config.h"
#include "core/run_state.h"
#include "manager_support.h"

namespace kovrad::manager::test {
namespace {

constexpr char kDhcpDocument[] =
    "<?xml version=\"1.0\"?>\n<config><tipoInter>ETHE</tipoInter><tipoLan>DHCP</tipoLan>"
    "<usuario></usuario><senha></senha><proxy>0</proxy><proxy_ip/><proxy_porta/><proxy_user/>"
    "<proxy_senha/></config>\n";

NetworkSettings FixedIp() {
  NetworkSettings settings;
  settings.dhcp = false;
  settings.addresses = {"192.168.1.10", "255.255.255.0", "192.168.1.1", "8.8.8.8", "..."};
  return settings;
}

TEST(NetworkDocumentTest, DhcpWithoutProxy) {
  EXPECT_EQ(NetworkDocument({}), kDhcpDocument);
}

TEST(NetworkDocumentTest, FixedAddresses) {
  EXPECT_EQ(NetworkDocument(FixedIp()),
            "<?xml version=\"1.0\"?>\n<config><tipoInter>ETHE</tipoInter>"
            "<tipoLan>IPFIX</tipoLan><lanIP>192.168.001.010</lanIP>"
            "<lanMask>255.255.255.000</lanMask><lanGW>192.168.001.001</lanGW>"
            "<lanDNS1>008.008.008.008</lanDNS1><lanDNS2>000.000.000.000</lanDNS2>"
            "<proxy>0</proxy><proxy_ip/><proxy_porta/><proxy_user/><proxy_senha/></config>\n");
}

TEST(NetworkDocumentTest, EachModeWritesOnlyItsOwnElements) {
  NetworkSettings dhcp;
  dhcp.user = "u";
  dhcp.password = "p";
  dhcp.addresses[0] = "10.0.0.1";
  const std::string with_dhcp = NetworkDocument(dhcp);
  EXPECT_NE(with_dhcp.find("<usuario>u</usuario><senha>p</senha>"), std::string::npos);
  EXPECT_EQ(with_dhcp.find("<lan"), std::string::npos);
  NetworkSettings fixed = FixedIp();
  fixed.user = "u";
  fixed.password = "p";
  const std::string with_fixed = NetworkDocument(fixed);
  EXPECT_EQ(with_fixed.find("usuario"), std::string::npos);
  EXPECT_EQ(with_fixed.find("senha>"), std::string::npos);
}

TEST(NetworkDocumentTest, ProxyElements) {
  NetworkSettings settings;
  settings.proxy_address = "10.1.1.1";
  settings.proxy_port = "3128";
  settings.proxy_user = "pu";
  settings.proxy_password = "pp";
  // "Sem Proxy": empty elements, whatever the fields hold.
  EXPECT_EQ(NetworkDocument(settings), kDhcpDocument);

  settings.proxy = 1;
  EXPECT_NE(NetworkDocument(settings).find(
                "<proxy>1</proxy><proxy_ip>010.001.001.001</proxy_ip><proxy_porta>3128"
                "</proxy_porta><proxy_user>pu</proxy_user><proxy_senha>pp</proxy_senha>"),
            std::string::npos);
  settings.proxy = -1;  // typed text
  settings.proxy_address = "   .   .   .   ";
  EXPECT_NE(NetworkDocument(settings).find("<proxy>2</proxy><proxy_ip></proxy_ip>"),
            std::string::npos);
  settings.proxy = 2;
  settings.proxy_port = "";
  EXPECT_NE(NetworkDocument(settings).find("<proxy>2</proxy><proxy_ip></proxy_ip><proxy_porta>"
                                           "</proxy_porta>"),
            std::string::npos);
}

TEST(NetworkDocumentTest, TextIsEscapedAndLettersBecomeReferences) {
  NetworkSettings settings;
  settings.user = "a<b>&\"c";
  settings.password = "João";
  const std::string document = NetworkDocument(settings);
  EXPECT_NE(document.find("<usuario>a&lt;b&gt;&amp;\"c</usuario>"), std::string::npos);
  EXPECT_NE(document.find("<senha>Jo&#xE3;o</senha>"), std::string::npos);
}

TEST(NetworkDocumentTest, AddressNormalisation) {
  EXPECT_EQ(NormaliseAddress("192.168.1.10"), "192.168.001.010");
  EXPECT_EQ(NormaliseAddress("   .   .   .   "), "000.000.000.000");
  EXPECT_EQ(NormaliseAddress("..."), "000.000.000.000");
  EXPECT_EQ(NormaliseAddress(""), "000.000.000.000");
  EXPECT_EQ(NormaliseAddress("999.256.  7.1  "), "999.256.007.001");
  EXPECT_EQ(NormaliseAddress("1.2"), "001.002.000.000");
  EXPECT_EQ(NormaliseAddress("1 2.3x.4.5.6"), "001.003.004.005");
  EXPECT_EQ(NormaliseAddress("99999999999999.0.0.0"), "999999999.000.000.000");
}

TEST_F(DeviceCallTest, TheDocumentGoesWithTheCode) {
  bound_.device().AnswerAll("000012|12000|Rede Configurada com Sucesso||");
  NetworkOutcome outcome = ConfigureNetwork(bound_.library(), kPresetCode, kDhcpDocument);
  EXPECT_EQ(bound_.Requests().at(0),
            std::string("000012|ConfigurarInterfaceDeRede|24681357|") + kDhcpDocument);
  EXPECT_TRUE(outcome.accepted);
  EXPECT_EQ(outcome.message, "Codigo: 12000.\nRede Configurada com Sucesso" + std::string(30, ' '));
  bound_.device().AnswerAll("000012|12002|Dados fora do padr\xE3o a ser informado||");
  outcome = ConfigureNetwork(bound_.library(), kPresetCode, kDhcpDocument);
  EXPECT_FALSE(outcome.accepted);
  EXPECT_EQ(outcome.message,
            "Codigo: 12002.\nDados fora do padrão a ser informado" + std::string(30, ' '));
}

}  // namespace
}  // namespace kovrad::manager::test

namespace kovrad::manager::test {

// Fixed addresses the device could not use are refused, naming the field;
// DHCP and a sound fixed setting pass.
TEST(FixedAddressCheckTest, RefusesWhatTheDeviceCannotUseNamingTheField) {
  NetworkSettings s;
  s.dhcp = false;
  s.addresses = {"192.168.  1. 10", "255.255.255.  0", "192.168.  1.  1", "  8.  8.  8.  8",
                 "   .   .   .   "};
  EXPECT_EQ(CheckFixedAddresses(s), std::nullopt);
  const auto refused = [&s](int field, const std::string& text) {
    NetworkSettings bad = s;
    bad.addresses[field] = text;
    return CheckFixedAddresses(bad).value_or("");
  };
  EXPECT_TRUE(refused(NetworkSettings::kIp, "1  .   .   .   ").starts_with("IP SAT: "));
  EXPECT_TRUE(refused(NetworkSettings::kIp, "192.168.  1.255").starts_with("IP SAT: "));
  EXPECT_TRUE(refused(NetworkSettings::kIp, "127.  0.  0.  1").starts_with("IP SAT: "));
  EXPECT_TRUE(refused(NetworkSettings::kIp, "192.168.  1.300").starts_with("IP SAT: "));
  EXPECT_TRUE(refused(NetworkSettings::kMask, "192.168.  0.  1").starts_with("Máscara: "));
  EXPECT_TRUE(refused(NetworkSettings::kMask, "255.255.255.255").starts_with("Máscara: "));
  EXPECT_TRUE(refused(NetworkSettings::kGateway, "10.  0.  0.  1").starts_with("Gateway: "));
  EXPECT_TRUE(refused(NetworkSettings::kGateway, "192.168.  1. 10").starts_with("Gateway: "));
  EXPECT_TRUE(refused(NetworkSettings::kDns1, "   .   .   .   ").starts_with("DNS1: "));
  EXPECT_TRUE(refused(NetworkSettings::kDns2, "224.  0.  0.  1").starts_with("DNS2: "));
  EXPECT_EQ(refused(NetworkSettings::kMask, "255.255.254.  0"), "");

  NetworkSettings dhcp = s;
  dhcp.dhcp = true;
  dhcp.addresses[NetworkSettings::kIp] = "1";
  EXPECT_EQ(CheckFixedAddresses(dhcp), std::nullopt);
}

}  // namespace kovrad::manager::test
