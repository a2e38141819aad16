// The emulated device without the link: request texts in, reply lines out.
#include <gtest/gtest.h>

#include <ctime>
#include <random>
#include <regex>
#include <string>

#include "device.h"
#include "fake_device.h"
#include "state.h"

namespace satemu {
namespace {

// "<session>|<five digits>|...", without a regex: a log reply is long.
bool LooksLikeReply(const std::string& line) {
  const size_t bar = line.find('|');
  if (bar == std::string::npos || bar < 6 || line.size() < bar + 7 || line[bar + 6] != '|') {
    return false;
  }
  const auto digits = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      if (line[i] < '0' || line[i] > '9') return false;
    }
    return true;
  };
  return digits(line[0] == '-' ? 1 : 0, bar) && digits(bar + 1, bar + 6);
}

std::string Code(const std::string& line) {
  const size_t first = line.find('|');
  return line.substr(first + 1, line.find('|', first + 1) - first - 1);
}

TEST(ParseRequest, ReadsSessionFunctionAndPayload) {
  Request r;
  ASSERT_TRUE(ParseRequest("000042|AtivarSAT|1|12345678|08723218000186|35", &r));
  EXPECT_EQ(r.session, 42);
  EXPECT_EQ(r.function, "AtivarSAT");
  EXPECT_EQ(r.payload, "1|12345678|08723218000186|35");
  ASSERT_TRUE(ParseRequest("-00005|ConsultarSAT", &r));
  EXPECT_EQ(r.session, -5);
  EXPECT_EQ(r.payload, "");
  for (const char* bad : {"", "|ConsultarSAT", "abc|ConsultarSAT", "000001", "000001|",
                          "99999999999|ConsultarSAT", "0000 1|ConsultarSAT"}) {
    EXPECT_FALSE(ParseRequest(bad, &r)) << bad;
  }
}

class DeviceTest : public ::testing::Test {
 protected:
  std::string Call(std::string_view text) { return device_.Handle(text).reply.line; }
  std::string Network(std::string_view document) {
    return Code(Call("000001|ConfigurarInterfaceDeRede|" + std::string(kFactoryCode) + "|" +
                     std::string(document)));
  }

  DeviceState state_;
  Device device_{state_, "900000000"};
};

TEST_F(DeviceTest, NetworkDocumentMustBeAConfigurationTheDeviceCanUse) {
  const std::string head = "<?xml version=\"1.0\"?>\n<config><tipoInter>ETHE</tipoInter>";
  const std::string fixed =
      "<tipoLan>IPFIX</tipoLan><lanIP>192.168.001.010</lanIP><lanMask>255.255.255.000</lanMask>"
      "<lanGW>192.168.001.001</lanGW><lanDNS1>008.008.008.008</lanDNS1>"
      "<lanDNS2>000.000.000.000</lanDNS2>";
  const std::string no_proxy =
      "<proxy>0</proxy><proxy_ip/><proxy_porta/><proxy_user/><proxy_senha/></config>\n";
  EXPECT_EQ(Network(head + "<tipoLan>DHCP</tipoLan><usuario></usuario><senha></senha>" + no_proxy),
            "12000");
  EXPECT_EQ(Network(head + fixed + no_proxy), "12000");
  EXPECT_EQ(state_.network["lanIP"], "192.168.001.010");
  EXPECT_EQ(Network(head + fixed +
                    "<proxy>1</proxy><proxy_ip>010.000.000.001</proxy_ip>"
                    "<proxy_porta>3128</proxy_porta><proxy_user>u</proxy_user>"
                    "<proxy_senha>p</proxy_senha></config>"),
            "12000");

  const std::string refused[] = {
      "",
      "not xml at all",
      "<config><tipoInter>ETHE</tipoInter>",
      "<other><tipoInter>ETHE</tipoInter><tipoLan>DHCP</tipoLan></other>",
      head + "<tipoLan>DHCP</tipoLan><unknown/></config>",
      head + "<tipoLan>DHCP</tipoLan><tipoLan>DHCP</tipoLan></config>",
      head + "<tipoLan><b>DHCP</b></tipoLan></config>",
      head + "<tipoLan>CABO</tipoLan></config>",
      "<config><tipoLan>DHCP</tipoLan></config>",
      head + "<tipoLan>IPFIX</tipoLan><lanIP>999.168.001.010</lanIP></config>",
      head + "<tipoLan>IPFIX</tipoLan><lanIP>192.168.1</lanIP></config>",
      head + "<tipoLan>DHCP</tipoLan><proxy>1</proxy><proxy_ip></proxy_ip></config>",
      head +
          "<tipoLan>DHCP</tipoLan><proxy>2</proxy><proxy_ip>1.2.3.4</proxy_ip>"
          "<proxy_porta>http</proxy_porta></config>",
      "<!DOCTYPE config [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
      "<config><tipoInter>ETHE</tipoInter><tipoLan>DHCP</tipoLan><usuario>&x;</usuario></config>",
  };
  for (const std::string& document : refused) {
    EXPECT_EQ(Network(document), "12002") << document;
  }
  // A refused document leaves the last accepted one in place.
  EXPECT_EQ(state_.network["tipoLan"], "IPFIX");
}

TEST_F(DeviceTest, RemembersTheRepliesOfTheLastHundredSessions) {
  Call("000001|AtivarSAT|1|12345678|08723218000186|35");
  for (int session = 1; session <= 150; ++session) {
    Call(std::to_string(1000000 + session) + "|ConsultarSAT");
  }
  EXPECT_EQ(Call("000002|ConsultarNumeroSessao|12345678|1000051"),
            "1000051|08000|SAT em operação||");
  EXPECT_EQ(Code(Call("000002|ConsultarNumeroSessao|12345678|1000050")), "11003");
  // The lookup's own reply is not remembered: session 2 is still unknown.
  EXPECT_EQ(Code(Call("000003|ConsultarNumeroSessao|12345678|000002")), "11003");
  EXPECT_EQ(device_.history().sessions.size(), kSessionsKept);
}

TEST_F(DeviceTest, WithUniqueSessionsARepeatedNumberIsRefusedAndChangesNothing) {
  MakeKit(&state_, std::time(nullptr));
  device_.set_unique_sessions(true);
  EXPECT_EQ(Code(Call("000007|BloquearSAT|12345678")), "16000");
  const DeviceState locked = state_;
  EXPECT_EQ(Call("000007|DesbloquearSAT|12345678"),
            "000007|17099|Número de sessão repetido: já usado numa das últimas sessões do SAT||");
  EXPECT_EQ(state_.lock, locked.lock);
  // The session still names the reply it was first given.
  EXPECT_EQ(Code(Call("000008|ConsultarNumeroSessao|12345678|7")), "16000");
  EXPECT_EQ(Code(Call("000008|ConsultarNumeroSessao|12345678|7")), "16000");
  EXPECT_EQ(Code(Call("000009|DesbloquearSAT|12345678")), "17000");
}

TEST_F(DeviceTest, EventLogIsBoundedAndEachRecordHasTheLogForm) {
  for (int i = 0; i < 600; ++i) Call("000001|ConsultarSAT");
  Call("000002|Fun\nção estranha|x");
  ASSERT_EQ(device_.history().events.size(), kEventsKept);
  const std::regex form(R"(\d{14}\|SAT\|(INFO|ERRO)\|[A-Z]+: [^\n|]*)");
  for (const std::string& record : device_.history().events) {
    EXPECT_TRUE(std::regex_match(record, form)) << record;
  }
}

// Whatever arrives, the device answers with a reply line and keeps a state
// it can write and read back.
TEST_F(DeviceTest, MalformedPayloadsNeverBreakIt) {
  const char* functions[] = {
      "AtivarSAT",
      "ComunicarCertificadoICPBRASIL",
      "EnviarDadosVenda",
      "CancelarUltimaVenda",
      "ConsultarSAT",
      "TesteFimAFim",
      "ConsultarStatusOperacional",
      "ConsultarNumeroSessao",
      "ConfigurarInterfaceDeRede",
      "AssociarAssinatura",
      "AtualizarSoftwareSAT",
      "ExtrairLogs",
      "BloquearSAT",
      "DesbloquearSAT",
      "TrocarCodigoDeAtivacaoSAT",
      "Desconhecida",
  };
  std::mt19937 random(1234);
  auto noise = [&random](size_t length) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
  };
  std::vector<std::string> payloads = {
      "",
      "|",
      "||||||||",
      "12345678",
      "12345678|",
      "12345678|||",
      "24681357|9",
      "1|12345678|08723218000186",
      "2|12345678|08723218000186|35",
      "12345678|2|x|x",
      "12345678|1|abc|abd",
      "12345678|-99999999999999999999",
      std::string("12345678|\0\0\0\0\xFF", 14),
      "24681357|<config>" + std::string(100000, '<') + "</config>",
      "12345678|" + std::string(70000, 'A'),
  };
  for (int i = 0; i < 20; ++i) payloads.push_back(noise(1 + random() % 300));

  for (int round = 0; round < 3; ++round) {
    if (round == 1) Call("000001|AtivarSAT|1|12345678|08723218000186|35");
    if (round == 2) state_.lock = kLockAutonomous;
    for (const char* function : functions) {
      for (const std::string& payload : payloads) {
        const std::string line = Call("000001|" + std::string(function) + "|" + payload);
        ASSERT_TRUE(LooksLikeReply(line)) << function << ": " << line.substr(0, 80);
      }
      ASSERT_TRUE(LooksLikeReply(Call(noise(40))));
    }
    std::string error;
    StoredState again;
    const std::string text = StateText(state_, 1);
    ASSERT_TRUE(ParseState(text, "state", &again, &error)) << error;
    EXPECT_EQ(StateText(again.state, 1), text);
  }
}

}  // namespace
}  // namespace satemu
