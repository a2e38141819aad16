// satemu through libkovrad.so, as a point-of-sale program sees it: discovery,
// every function's reply and result codes, and what a restart keeps.
#include <filesystem>
#include <regex>

#include "emulated_device.h"

namespace kovrad::test {
namespace {

namespace fs = std::filesystem;

constexpr char kCode[] = "12345678";
constexpr char kWrong[] = "errado00";
constexpr char kBothCnpjs[] = "1671611400017208723218000186";

constexpr char kFixedNetwork[] =
    "<?xml version=\"1.0\"?>\n<config><tipoInter>ETHE</tipoInter><tipoLan>IPFIX</tipoLan>"
    "<lanIP>192.168.001.010</lanIP><lanMask>255.255.255.000</lanMask>"
    "<lanGW>192.168.001.001</lanGW><lanDNS1>008.008.008.008</lanDNS1>"
    "<lanDNS2>000.000.000.000</lanDNS2><proxy>0</proxy><proxy_ip/><proxy_porta/><proxy_user/>"
    "<proxy_senha/></config>\n";

// A self-signed test certificate, valid from 2026-12-07 to 2031-12-07.
constexpr char kCertificate[] =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIB4DCCAYWgAwIBAgIUJ/5vqnQ0Mfy0GRk/RPI3aVxwtIQwCgYIKoZIzj0EAwIw\n"
    "RTELMAkGA1UEBhMCQlIxEzARBgNVBAoMCklDUC1CcmFzaWwxITAfBgNVBAMMGFNB\n"
    "VCB0ZXN0ZTowODcyMzIxODAwMDE4NjAeFw0yNjEyMDcwNTM0NDdaFw0zMTEyMDcw\n"
    "NTM0NDdaMEUxCzAJBgNVBAYTAkJSMRMwEQYDVQQKDApJQ1AtQnJhc2lsMSEwHwYD\n"
    "VQQDDBhTQVQgdGVzdGU6MDg3MjMyMTgwMDAxODYwWTATBgcqhkjOPQIBBggqhkjO\n"
    "PQMBBwNCAAQD/gabfavd1hRCPKzS8bD2M7KnTu1OqR0oyX23p3XS45MaG/GTN/ew\n"
    "peEdiYMlxtkz/bFLB4ioov2UzIEXfmSKo1MwUTAdBgNVHQ4EFgQUxRpCKjdz9R5S\n"
    "bIGTe1Zkm0W38zgwHwYDVR0jBBgwFoAUxRpCKjdz9R5SbIGTe1Zkm0W38zgwDwYD\n"
    "VR0TAQH/BAUwAwEB/zAKBggqhkjOPQQDAgNJADBGAiEAkAQ0P/NACI01PH/TdDoV\n"
    "ShjxZxP3n0kXjrOu+04WJWcCIQDS9ea8yb4pd2AN65CZzF+C9CW4Bp5C1nL2PnDl\n"
    "EL90RQ==\n"
    "-----END CERTIFICATE-----\n";

std::string Status(const char* code, int32_t session = 12) {
  return ConsultarStatusOperacional(session, code);
}

TEST_F(EmulatedDevice, IsFoundThroughTheVariablesWithoutChoosingAPort) {
  Start();
  EXPECT_EQ(std::string(ConsultarSAT(7)), "000007|08000|SAT em operação||");
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
  EXPECT_STREQ(CodigoErro().msg, "000007|08000|SAT em operação||");
}

TEST_F(EmulatedDevice, FactoryDeviceOpensStatusNetworkAndLogsToTheFactoryCode) {
  Start();
  const auto status = Fields(Status(kFactory));
  ASSERT_EQ(status.size(), 28u);
  EXPECT_EQ(status[1], "10000");
  EXPECT_EQ(status[2], "Resposta com Sucesso");
  EXPECT_EQ(status[5], "900000000");
  EXPECT_EQ(status[6], "DHCP");
  EXPECT_TRUE(std::regex_match(status[17], std::regex(R"(\d{14})"))) << status[17];
  EXPECT_EQ(status[27], "0");
  // The manager stops reading at the first empty field.
  for (size_t i = 0; i < status.size(); ++i) EXPECT_FALSE(status[i].empty()) << "field " << i + 1;

  EXPECT_EQ(Code(Status(kCode)), "10001");
  EXPECT_EQ(Code(ExtrairLogs(12, kFactory)), "15000");
  EXPECT_EQ(Code(ConfigurarInterfaceDeRede(12, kFactory, kFixedNetwork)), "12000");

  // Everything else waits for activation.
  EXPECT_EQ(std::string(BloquearSAT(12, kFactory)), "000012|16099|SAT ainda não ativado||");
  EXPECT_STREQ(CodigoErro().msg, "Codigo: 16099.\nSAT ainda não ativado");
  EXPECT_EQ(Code(DesbloquearSAT(12, kFactory)), "17002");
  EXPECT_EQ(Code(AssociarAssinatura(12, kFactory, kBothCnpjs, kSignature)), "13002");
  EXPECT_EQ(Code(AtualizarSoftwareSAT(12, kFactory)), "14002");
  EXPECT_EQ(Code(TrocarCodigoDeAtivacao(12, kFactory, 1, kCode, kCode)), "18099");
  EXPECT_EQ(Code(ConsultarNumeroSessao(12, kFactory, 12)), "11002");
  EXPECT_EQ(Code(ComunicarCertificadoICPBRASIL(12, kFactory, kCertificate)), "05002");
  EXPECT_EQ(std::string(EnviarDadosVenda(12, kFactory, "<CFe/>")),
            "000012|06002|0000|SAT ainda não ativado||");
  EXPECT_STREQ(CodigoErro().msg, "Codigo: 06002.\nSAT ainda não ativado");
  EXPECT_EQ(Code(CancelarUltimaVenda(12, kFactory, "CFe1", "<CFeCanc/>")), "07099");
  EXPECT_EQ(Code(TesteFimAFim(12, kFactory, "<CFe/>")), "09002");
}

TEST_F(EmulatedDevice, ActivationAssociationLockAndCodeChange) {
  Start();
  EXPECT_EQ(Code(AtivarSAT(12, 1, "curto", kTaxpayer, 35)), "04001");
  EXPECT_EQ(Code(AtivarSAT(12, 1, kCode, "08723218000187", 35)), "04002");
  EXPECT_EQ(std::string(AtivarSAT(12, 1, kCode, kTaxpayer, 35)),
            "000012|04000|SAT Ativado com Sucesso|||");
  EXPECT_STREQ(CodigoErro().msg, "Codigo: 04000.\nSAT Ativado com Sucesso");
  EXPECT_EQ(std::string(AtivarSAT(12, 1, kCode, kTaxpayer, 35)), "000012|04003|SAT ja ativado|||");
  EXPECT_EQ(Code(Status(kFactory)), "10001");
  const auto status = Fields(Status(kCode));
  EXPECT_NE(status[25], "00000000");  // the certificate's dates
  EXPECT_NE(status[26], "00000000");

  EXPECT_EQ(Code(AssociarAssinatura(12, kWrong, kBothCnpjs, kSignature)), "13001");
  EXPECT_EQ(Code(AssociarAssinatura(12, kCode, kBothCnpjs, "")), "13003");
  EXPECT_EQ(Code(AssociarAssinatura(12, kCode, kSoftwareHouse, kSignature)), "13003");
  EXPECT_EQ(std::string(AssociarAssinatura(12, kCode, kBothCnpjs, kSignature)),
            "000012|13000|Assinatura do AC Registrada||");
  EXPECT_EQ(std::string(AtualizarSoftwareSAT(12, kCode)),
            "000012|14000|Software Atualizado com Sucesso||");

  EXPECT_EQ(std::string(BloquearSAT(12, kCode)),
            "000012|16000|Equipamento SAT bloqueado com sucesso||");
  EXPECT_EQ(Fields(Status(kCode))[27], "2");
  EXPECT_EQ(Code(BloquearSAT(12, kCode)), "16002");
  EXPECT_EQ(Code(EnviarDadosVenda(12, kCode, "<CFe/>")), "06006");
  EXPECT_EQ(Code(CancelarUltimaVenda(12, kCode, "CFe1", "<CFeCanc/>")), "07003");
  EXPECT_EQ(Code(EnviarDadosVenda(12, kWrong, "<CFe/>")), "06001");
  EXPECT_EQ(std::string(DesbloquearSAT(12, kCode)),
            "000012|17000|Equipamento SAT desbloqueado com sucesso||");
  EXPECT_EQ(std::string(DesbloquearSAT(12, kCode)), "000012|17005|SAT ja desbloqueado||");
  EXPECT_EQ(Fields(Status(kCode))[27], "0");

  EXPECT_EQ(Code(TrocarCodigoDeAtivacao(12, kWrong, 1, "23456789", "23456789")), "18001");
  EXPECT_EQ(Code(TrocarCodigoDeAtivacao(12, kCode, 1, "23456789", "23456780")), "18099");
  EXPECT_EQ(std::string(TrocarCodigoDeAtivacao(12, "00000000", 2, "23456789", "23456789")),
            "000012|18002|Código de ativação de emergência Incorreto||");
  EXPECT_EQ(std::string(TrocarCodigoDeAtivacao(12, "87654321", 2, "23456789", "23456789")),
            "000012|18000|Código de ativação alterado com sucesso.||");
  EXPECT_EQ(Code(Status(kCode)), "10001");
  EXPECT_EQ(Code(Status("23456789")), "10000");
}

TEST_F(EmulatedDevice, IcpBrasilActivationWaitsForTheCertificate) {
  Start();
  const auto activation = Fields(AtivarSAT(12, 2, kCode, kTaxpayer, 35));
  ASSERT_EQ(activation.size(), 6u);
  EXPECT_EQ(activation[1], "04006");
  EXPECT_EQ(activation[2], "CSR ICP-BRASIL criado com sucesso");
  EXPECT_EQ(activation[5].rfind("-----BEGIN CERTIFICATE REQUEST-----\n", 0), 0u);

  EXPECT_EQ(Code(Status(kCode)), "10000");
  EXPECT_EQ(Code(BloquearSAT(12, kCode)), "16099");
  EXPECT_EQ(Code(ComunicarCertificadoICPBRASIL(12, kWrong, kCertificate)), "05001");
  EXPECT_EQ(Code(ComunicarCertificadoICPBRASIL(12, kCode, "not a certificate")), "05099");
  EXPECT_EQ(std::string(ComunicarCertificadoICPBRASIL(12, kCode, kCertificate)),
            "000012|05000|Certificado transmitido com sucesso||");
  const auto status = Fields(Status(kCode));
  EXPECT_EQ(status[25], "20261207");
  EXPECT_EQ(status[26], "20311207");
  EXPECT_EQ(Code(BloquearSAT(12, kCode)), "16000");

  EXPECT_EQ(Code(AtivarSAT(12, 3, kCode, "16716114000172", 35)), "04002");
  EXPECT_EQ(Code(AtivarSAT(12, 3, kCode, kTaxpayer, 35)), "04006");
}

TEST_F(EmulatedDevice, NetworkConfigurationIsWhatTheStatusReports) {
  Start();
  EXPECT_EQ(Code(ConfigurarInterfaceDeRede(12, kWrong, kFixedNetwork)), "12001");
  // The rule broken comes where a host reads the reason for a refusal.
  EXPECT_EQ(std::string(ConfigurarInterfaceDeRede(12, kFactory, "<config/>")),
            "000012|12002|Dados fora do padrão a ser informado||tipoInter \"\" não é um valor "
            "aceito");
  EXPECT_EQ(std::string(ConfigurarInterfaceDeRede(12, kFactory, kFixedNetwork)),
            "000012|12000|Rede Configurada com Sucesso||");
  EXPECT_STREQ(CodigoErro().msg, "Codigo: 12000.\nRede Configurada com Sucesso");
  const auto status = Fields(Status(kFactory));
  EXPECT_EQ(std::vector<std::string>(status.begin() + 6, status.begin() + 14),
            (std::vector<std::string>{"IPFIX", "192.168.001.010", status[8], "255.255.255.000",
                                      "192.168.001.001", "008.008.008.008", "000.000.000.000",
                                      "CONECTADO"}));
  EXPECT_TRUE(std::regex_match(status[8], std::regex("([0-9A-F]{2}:){5}[0-9A-F]{2}")));
}

TEST_F(EmulatedDevice, KitIsActivatedAndKeepsTheRepliesOfPastSessions) {
  Start({"--kit"});
  EXPECT_EQ(Code(AtivarSAT(12, 1, kCode, kTaxpayer, 35)), "04003");
  const std::string status = Status(kCode, 4242);
  EXPECT_EQ(Code(status), "10000");
  EXPECT_EQ(std::string(ConsultarNumeroSessao(12, kCode, 4242)), status);
  EXPECT_EQ(std::string(ConsultarNumeroSessao(12, kCode, 4243)),
            "000012|11003|Sessão não existe||");
  EXPECT_EQ(Code(ConsultarNumeroSessao(12, kWrong, 4242)), "11001");
}

TEST_F(EmulatedDevice, LogHasARecordForEveryCommand) {
  Start({"--kit"});
  ConsultarSAT(1);
  BloquearSAT(2, kWrong);
  const std::string reply = ExtrairLogs(3, kCode);
  EXPECT_EQ(reply.rfind("000003|15000|Transferência completa|||", 0), 0u) << reply;
  EXPECT_EQ(Code(ExtrairLogs(4, kWrong)), "15001");

  ExtrairLogs(5, kCode);
  const std::string log = Base64ToAscii();
  ASSERT_NE(log.find('\n'), std::string::npos);
  // After the header line, one record per line: "AAAAMMDDhhmmss|origin|type|EVENT: text".
  const std::regex record(R"(\d{14}\|[^|\n]+\|[^|\n]+\|[^:|\n]+: [^\n]*)");
  std::vector<std::string> records;
  for (size_t at = log.find('\n') + 1; at < log.size();) {
    const size_t end = log.find('\n', at);
    records.push_back(log.substr(at, end - at));
    EXPECT_TRUE(std::regex_match(records.back(), record)) << records.back();
    at = end == std::string::npos ? log.size() : end + 1;
  }
  ASSERT_GE(records.size(), 5u);
  EXPECT_NE(records[records.size() - 4].find("ConsultarSAT, sessão 000001, resultado 08000"),
            std::string::npos);
  EXPECT_NE(records[records.size() - 3].find("BloquearSAT, sessão 000002, resultado 16001"),
            std::string::npos);
}

TEST_F(EmulatedDevice, RestartKeepsTheDeviceState) {
  Start();
  AtivarSAT(12, 1, kCode, kTaxpayer, 35);
  ConfigurarInterfaceDeRede(12, kCode, kFixedNetwork);
  BloquearSAT(12, kCode);
  const std::string before = Status(kCode, 777);

  EXPECT_EQ(emulator_->Stop(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "dev/ttyACM0")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "sys/class/tty/ttyACM0")));
  Start();

  const auto status = Fields(Status(kCode));
  EXPECT_EQ(status[1], "10000");
  EXPECT_EQ(status[6], "IPFIX");
  EXPECT_EQ(status[27], "2");
  EXPECT_EQ(std::string(ConsultarNumeroSessao(12, kCode, 777)), before);
  ExtrairLogs(12, kCode);
  const std::string log = Base64ToAscii();
  EXPECT_NE(log.find("BloquearSAT"), std::string::npos);
  EXPECT_NE(log.find("INICIO"), log.rfind("INICIO"));  // one start record per run
}

TEST_F(EmulatedDevice, TwoDevicesInOneDirectoryAreBothMapped) {
  Start();
  Satemu second(dir_.path(), {"--port", "1"});
  EXPECT_STREQ(GetMapaPortasSAT(kFactory), "900000000:ttyACM0;900000001:ttyACM1;");
  // The map leaves the last port chosen; later tests in this process want the first.
  AbreSerialSAT(0, 0, 0, 0, 0);
}

}  // namespace
}  // namespace kovrad::test
