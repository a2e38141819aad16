// The core of the log, activation, association and network windows: input
// checks, the log's display lines, the network document and the calls,
// against a scripted device.
#include <gtest/gtest.h>

#include <QByteArray>
#include <string>
#include <variant>

#include "activation.h"
#include "association.h"
#include "checks.h"
#include "devicelog.h"
#include "manager_support.h"
#include "netconfig.h"
#include "session.h"
#include "text.h"
#include "textfile.h"

namespace kovrad::manager::test {
namespace {

using kovrad::test::ReadFile;
using kovrad::test::TempDir;

constexpr char kTaxpayer[] = "08.723.218/0001-86";
constexpr char kSoftwareHouse[] = "16.716.114/0001-72";

// An ExtrairLogs reply carrying `log` as the device encodes it.
std::string LogReply(const std::string& log) {
  return "000012|15000|Transfer\xEAncia completa|||" +
         QByteArray::fromStdString(log).toBase64().toStdString();
}

TEST(LogFormatTest, TheHeadingIsNeverShownAndTextWithoutALineFeedGivesNothing) {
  EXPECT_TRUE(FormatLog("").empty());
  EXPECT_TRUE(FormatLog("20240315103000|SAT|INFO|EVENTO: no line feed").empty());
  EXPECT_TRUE(FormatLog("20240315103000|SAT|INFO|EVENTO: heading only\n").empty());
}

TEST(LogFormatTest, ShowsNumberDateFieldFourFieldThreeAndTheRest) {
  const auto lines = FormatLog(
      "LOG SAT 900004019\n"
      "20240315103000|SAT|INFO|COMANDO: AtivarSAT, resultado 04000\n"
      "20231231235959|HIDDEN|ERRO|REDE: sem link\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "1 15/03/2024 10:30:00 COMANDO INFO  AtivarSAT, resultado 04000");
  EXPECT_EQ(lines[1], "2 31/12/2023 23:59:59 REDE ERRO  sem link");
  EXPECT_EQ(lines[1].find("HIDDEN"), std::string::npos);
}

TEST(LogFormatTest, AStampThatIsNotADateIsShownAsItIs) {
  EXPECT_EQ(FormatLog("h\nontem|a|b|c:d\n").at(0), "1 ontem c b d");
  EXPECT_EQ(LogDateText("2024031510"), "2024031510");  // too short to reorder
  EXPECT_EQ(LogDateText("20240315103000999"), "15/03/2024 10:30:00");
  EXPECT_EQ(LogDateText(""), "");
}

TEST(LogFormatTest, AShortRecordShowsEmptyFieldsNeverThePreviousOnes) {
  const auto lines = FormatLog(
      "h\n20240315103000|SAT|INFO|COMANDO: primeiro\n20240315103001|SAT\nsolto\n"
      "20240315103002|SAT|INFO|sem dois pontos\n");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "2 15/03/2024 10:30:01   ");
  EXPECT_EQ(lines[2], "3 solto   ");
  EXPECT_EQ(lines[3], "4 15/03/2024 10:30:02 sem dois pontos INFO ");
  const LogRecord empty_fields = SplitLogRecord("a||c|d:e");
  EXPECT_EQ(empty_fields, (LogRecord{"a", "", "c", "d", "e"}));
}

TEST(LogFormatTest, EmptyLinesAreSkippedAndCarriageReturnsDropped) {
  const auto lines = FormatLog("h\r\n20240315103000|a|b|c:d\r\n\r\n\n20240315103001|a|b|c:e\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"1 15/03/2024 10:30:00 c b d",
                                             "2 15/03/2024 10:30:01 c b e"}));
}

TEST(LogFormatTest, OverlongFieldsAndLinesAreCutAtTheirLimits) {
  const LogRecord record = SplitLogRecord(
      std::string(kLogStampLimit + 5, '9') + "|" + std::string(3000, '2') + "|" +
      std::string(3000, '3') + "|" + std::string(3000, '4') + ":" + std::string(4000, '5'));
  EXPECT_EQ(record[0].size(), kLogStampLimit);
  EXPECT_EQ(record[1].size(), kLogFieldLimit);
  EXPECT_EQ(record[2].size(), kLogFieldLimit);
  EXPECT_EQ(record[3].size(), kLogFieldLimit);
  EXPECT_EQ(record[4].size(), kLogTextLimit);
  EXPECT_EQ(LogLine(1, record).size(), kLogLineLimit);

  // Limits count characters: an accented line is cut between characters.
  std::string accents;
  for (int i = 0; i < 1200; ++i) accents += "\xE9";  // Windows-1252
  const auto lines = FormatLog("h\n20240315103000|a|b|c:" + accents + "\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(IsValidUtf8(lines[0]));
  EXPECT_EQ(CharacterCount(lines[0]), kLogLineLimit);
}

TEST(LogFormatTest, RecordsAreReadInEitherEncoding) {
  const auto lines = FormatLog(
      "h\n20240315103000|a|b|c:ativa\xE7\xE3o\n20240315103000|a|b|c:ativa\xC3\xA7\xC3\xA3o\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "1 15/03/2024 10:30:00 c b ativação");
  EXPECT_EQ(lines[1], "2 15/03/2024 10:30:00 c b ativação");
}

class DeviceCallTest : public ::testing::Test {
 protected:
  BoundDevice bound_;
};

TEST_F(DeviceCallTest, ExtractionFormatsTheDecodedLog) {
  bound_.device().AnswerAll(LogReply("LOG SAT\n20240315103000|SAT|INFO|COMANDO: x\n"));
  const LogExtraction extraction = ExtractLog(bound_.library(), "12345678");
  EXPECT_EQ(bound_.Requests().at(0), "000012|ExtrairLogs|12345678");
  EXPECT_FALSE(extraction.message);
  EXPECT_EQ(extraction.lines, std::vector<std::string>{"1 15/03/2024 10:30:00 COMANDO INFO  x"});
}

TEST_F(DeviceCallTest, ExtractionShowsAnyOtherReplyAndThePortText) {
  bound_.device().AnswerAll(
      "000012|15001|C\xF3"
      "digo de ativa\xE7\xE3o inv\xE1lido||");
  LogExtraction extraction = ExtractLog(bound_.library(), "x");
  EXPECT_TRUE(extraction.lines.empty());
  EXPECT_EQ(extraction.message, "000012|15001|Código de ativação inválido||");
  bound_.device().AnswerAll("Erro ao tentar abrir a porta");
  extraction = ExtractLog(bound_.library(), "x");
  EXPECT_EQ(extraction.message, kMsgPortNotOpened);
}

TEST(ActivationCheckTest, AWrongCheckDigitStopsBeforeTheCodes) {
  const auto prepared = PrepareActivation({"08.723.218/0001-87", "1", "2"});
  EXPECT_EQ(std::get<std::string>(prepared), kMsgCnpjInvalid);
  EXPECT_EQ(std::get<std::string>(PrepareActivation({"  .   .   /    -  ", "", ""})),
            kMsgCnpjInvalid);
}

TEST(ActivationCheckTest, TheCodeRulesInOrder) {
  EXPECT_EQ(std::get<std::string>(PrepareActivation({kTaxpayer, "1234567", "1234567"})),
            "Código de ativação deve conter no mínimo 8 caracteres");
  EXPECT_EQ(std::get<std::string>(PrepareActivation({kTaxpayer, "abcdefgh", "abcdefgH"})),
            "Código de ativação e de confirmação não são identicos");
  // Counted as typed: seven accented letters are seven characters.
  EXPECT_EQ(std::get<std::string>(PrepareActivation({kTaxpayer, "ççççççç", "ççççççç"})),
            "Código de ativação deve conter no mínimo 8 caracteres");
  const auto too_long = PrepareActivation({kTaxpayer, std::string(100, 'c'), "c"});
  EXPECT_NE(std::get<std::string>(too_long).find("99"), std::string::npos);
}

TEST(ActivationCheckTest, SendsTheBareDigitsAndTheStagedCode) {
  const auto prepared = PrepareActivation({kTaxpayer, "ação1234", "ação1234", 1});
  const Activation& activation = std::get<Activation>(prepared);
  EXPECT_EQ(activation.cnpj, "08723218000186");
  EXPECT_EQ(activation.code, "a\xE7\xE3o1234");
  EXPECT_EQ(activation.kind, kCertificateAcSat);
}

TEST(ActivationCheckTest, TheRequestStartsAtItsDashes) {
  EXPECT_EQ(CertificateRequest("000012|04006|ok|||-----BEGIN CERTIFICATE REQUEST-----\nMII"),
            "-----BEGIN CERTIFICATE REQUEST-----\nMII");
  EXPECT_EQ(CertificateRequest("a|BEGIN x|BEGIN y"), "BEGIN x|BEGIN y");
  EXPECT_EQ(CertificateRequest("000012|04000|SAT Ativado com Sucesso||"), "");
}

TEST_F(DeviceCallTest, ActivationSendsStateThirtyFiveAndReadsTheAnswer) {
  bound_.device().AnswerAll("000012|04000|SAT Ativado com Sucesso||");
  ActivationOutcome outcome = Activate(bound_.library(), {1, "abcdefgh", "08723218000186"});
  EXPECT_EQ(bound_.Requests().at(0), "000012|AtivarSAT|1|abcdefgh|08723218000186|35");
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.message, kMsgActivated);
  EXPECT_FALSE(outcome.in_message_window);
  EXPECT_EQ(outcome.request, "");

  bound_.device().AnswerAll("000012|04003|SAT ja ativado||");
  outcome = Activate(bound_.library(), {1, "abcdefgh", "08723218000186"});
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_TRUE(outcome.in_message_window);
  EXPECT_EQ(outcome.message, "Codigo: 04003.\nSAT ja ativado" + std::string(30, ' '));
}

TEST_F(DeviceCallTest, ActivationHandsBackACertificateRequest) {
  bound_.device().AnswerAll(
      "000012|04006|CSR ICP-BRASIL criado com sucesso|||-----BEGIN CERTIFICATE REQUEST-----");
  const ActivationOutcome outcome = Activate(bound_.library(), {1, "abcdefgh", "1"});
  EXPECT_FALSE(outcome.succeeded);  // "sucesso" in lower case is not "Sucesso"
  EXPECT_TRUE(outcome.in_message_window);
  EXPECT_EQ(outcome.request, "-----BEGIN CERTIFICATE REQUEST-----");
}

TEST_F(DeviceCallTest, ThePortTextStopsTheActivation) {
  bound_.device().AnswerAll("Erro ao tentar abrir a porta de comunicacao");
  const ActivationOutcome outcome = Activate(bound_.library(), {1, "abcdefgh", "1"});
  EXPECT_EQ(outcome.message, kMsgPortNotOpened);
  EXPECT_FALSE(outcome.in_message_window);
}

TEST(AssociationCheckTest, TheTaxpayerIsCheckedFirst) {
  EXPECT_EQ(std::get<std::string>(PrepareAssociation({"11.111.111/1111-11", "1", "s"})),
            kMsgTaxpayerInvalid);
  EXPECT_EQ(std::get<std::string>(PrepareAssociation({kTaxpayer, "16.716.114/0001-73", "s"})),
            kMsgSoftwareHouseInvalid);
}

TEST(AssociationCheckTest, TheValueIsTwentyEightDigitsSoftwareHouseFirst) {
  const auto prepared = PrepareAssociation({kTaxpayer, kSoftwareHouse, "SIG"});
  const Association& association = std::get<Association>(prepared);
  EXPECT_EQ(association.cnpjs, "1671611400017208723218000186");
  EXPECT_EQ(association.signature, "SIG");
}

TEST(AssociationCheckTest, LineBreaksAreRemovedFromTheSignature) {
  auto signature = [](const std::string& typed) {
    return std::get<Association>(PrepareAssociation({kTaxpayer, kSoftwareHouse, typed})).signature;
  };
  EXPECT_EQ(signature("abc\r\ndef\r\n\r\nghi"), "abcdefghi");
  EXPECT_EQ(signature("a b\n\rc "), "a bc ");
  EXPECT_EQ(signature("\r\n\r\n\n"), "");
}

TEST(AssociationCheckTest, ASignatureAbove499CharactersIsRefused) {
  EXPECT_TRUE(std::holds_alternative<Association>(
      PrepareAssociation({kTaxpayer, kSoftwareHouse, std::string(499, 's')})));
  EXPECT_EQ(
      std::get<std::string>(PrepareAssociation({kTaxpayer, kSoftwareHouse, std::string(500, 's')})),
      TooLongMessage("Assinatura AC", 499));
}

TEST_F(DeviceCallTest, AssociationSendsTheValueAndReportsTheRecord) {
  bound_.device().AnswerAll("000012|13000|Assinatura do AC Registrada||");
  const std::string message =
      Associate(bound_.library(), "", {"1671611400017208723218000186", "SIG NATURE"});
  EXPECT_EQ(bound_.Requests().at(0),
            "000012|AssociarAssinatura||1671611400017208723218000186|SIG NATURE");
  EXPECT_EQ(message, "Codigo: 13000.\nAssinatura do AC Registrada" + std::string(30, ' '));
}

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

TEST(TextFileTest, WritesTheWholeFileOrTellsWhy) {
  TempDir dir;
  kovrad::test::WriteFile(dir / "f.txt", "old and longer content");
  std::string problem;
  ASSERT_TRUE(WriteTextFile(dir / "f.txt", "new\r\n", &problem)) << problem;
  EXPECT_EQ(ReadFile(dir / "f.txt"), "new\r\n");
  ASSERT_TRUE(WriteTextFile(dir / "empty.txt", "", &problem));
  EXPECT_EQ(ReadFile(dir / "empty.txt"), "");
  EXPECT_FALSE(WriteTextFile(dir / "missing/f.txt", "x", &problem));
  EXPECT_NE(problem.find(dir / "missing/f.txt"), std::string::npos);
}

}  // namespace
}  // namespace kovrad::manager::test
