// The SAT functions through the C interface: request texts, result messages
// and the Base64 documents that log replies carry.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "device_fixture.h"

namespace kovrad::test {
namespace {

using FunctionsTest = DeviceTest;

constexpr char kCode[] = "12345678";

// ---- Requests ----

TEST_F(FunctionsTest, EveryFunctionSendsItsRequestByteForByte) {
  struct Call {
    const char* name;
    std::function<char*()> run;
    std::string text;
  };
  const std::vector<Call> calls = {
      {"AtivarSAT", [] { return AtivarSAT(42, 1, kCode, "11222333000181", 5); },
       "000042|AtivarSAT|1|12345678|11222333000181|05"},
      {"AssociarAssinatura",
       [] { return AssociarAssinatura(1234567, kCode, "1622233300018111222333000181", "SIG+/="); },
       "1234567|AssociarAssinatura|12345678|1622233300018111222333000181|SIG+/="},
      {"AtualizarSoftwareSAT", [] { return AtualizarSoftwareSAT(-5, kCode); },
       "-00005|AtualizarSoftwareSAT|12345678"},
      {"BloquearSAT", [] { return BloquearSAT(42, kCode); }, "000042|BloquearSAT|12345678"},
      {"DesbloquearSAT", [] { return DesbloquearSAT(42, kCode); },
       "000042|DesbloquearSAT|12345678"},
      {"ComunicarCertificadoICPBRASIL",
       [] { return ComunicarCertificadoICPBRASIL(42, kCode, "MIIBIjAN"); },
       "000042|ComunicarCertificadoICPBRASIL|12345678|MIIBIjAN"},
      {"ConfigurarInterfaceDeRede",
       [] { return ConfigurarInterfaceDeRede(42, kCode, "<config><tipoInter>ETHE</tipoInter>"); },
       "000042|ConfigurarInterfaceDeRede|12345678|<config><tipoInter>ETHE</tipoInter>"},
      {"TesteFimAFim", [] { return TesteFimAFim(42, kCode, "<CFe>\xE7</CFe>"); },
       "000042|TesteFimAFim|12345678|<CFe>\xE7</CFe>"},
      {"TrocarCodigoDeAtivacao",
       [] { return TrocarCodigoDeAtivacao(42, kCode, 2, "87654321", "87654321"); },
       "000042|TrocarCodigoDeAtivacaoSAT|12345678|2|87654321|87654321"},
      {"ConsultarSAT", [] { return ConsultarSAT(42); }, "000042|ConsultarSAT"},
      {"ConsultarStatusOperacional", [] { return ConsultarStatusOperacional(42, kCode); },
       "000042|ConsultarStatusOperacional|12345678"},
      {"ConsultarNumeroSessao", [] { return ConsultarNumeroSessao(42, kCode, 42); },
       "000042|ConsultarNumeroSessao|12345678|000042"},
      {"ExtrairLogs", [] { return ExtrairLogs(42, kCode); }, "000042|ExtrairLogs|12345678"},
  };
  device_.AnswerAll("000042|00000|ok||");
  uint8_t sequence = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(calls[i].name);
    const std::string& text = calls[i].text;
    EXPECT_EQ(calls[i].run(), text.substr(0, text.find('|')) + "|00000|ok||");
    const Request r = Sent(i);
    if (i == 0) sequence = r.sequence();
    EXPECT_EQ(r.frame, RequestFrame(static_cast<uint8_t>(sequence + i), calls[i].text));
  }
}

// ---- Result messages ----

TEST_F(FunctionsTest, ResultMessageFromTheCodeAndTextFields) {
  struct Case {
    std::string reply, message;
  };
  const std::vector<Case> cases = {
      {"000345|12000|Rede Configurada com Sucesso||",
       "Codigo: 12000.\nRede Configurada com Sucesso"},
      {"000345|12000|Sem separador no fim", "Codigo: 12000.\nSem separador no fim"},
      // Not composed: the message stays as the exchange left it, empty.
      {"000345|12000||", ""},
      {"000345||Rede Configurada|", ""},
      {"000345|12000", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    device_.AnswerAll(c.reply);
    EXPECT_EQ(std::string(ConfigurarInterfaceDeRede(345, kCode, "<config/>")), c.reply);
    EXPECT_EQ(CodigoErro().code, __NOERROR__);
    EXPECT_EQ(Message(), c.message);
  }
}

TEST_F(FunctionsTest, LongResultMessageIsCutToFit) {
  const std::string code(40, '1'), text(1000, 'm');
  device_.AnswerAll("000001|" + code + "|" + text + "|");
  BloquearSAT(1, kCode);
  EXPECT_EQ(Message(), ("Codigo: " + code.substr(0, 27) + ".\n" + text).substr(0, 799));
}

TEST_F(FunctionsTest, ConsultarSatCopiesTheWholeReplyWhenItFits) {
  std::string reply = "000001|08000|SAT em opera\xE7\xE3o|";
  reply.resize(799, 'x');
  device_.AnswerAll(reply);
  ConsultarSAT(1);
  EXPECT_EQ(Message(), reply);

  device_.AnswerAll(reply + "x");
  ConsultarSAT(1);
  EXPECT_EQ(Message(), "");
}

TEST_F(FunctionsTest, StatusQueriesLeaveTheMessageAlone) {
  device_.AnswerAll("000001|10000|Resposta com Sucesso|0|ETHE");
  ConsultarStatusOperacional(1, kCode);
  EXPECT_EQ(Message(), "");
  ConsultarNumeroSessao(1, kCode, 5);
  EXPECT_EQ(Message(), "");
}

// ---- Documents ----

// The document of a log reply, as Base64ToAscii hands it over.
std::string LogDocument(FakeDevice& device, const std::string& reply) {
  device.AnswerAll(reply);
  EXPECT_EQ(std::string(ExtrairLogs(1, kCode)), reply);
  return Base64ToAscii();
}

TEST_F(FunctionsTest, LogDocumentDecodedFromTheSixthField) {
  // "Hello, world" with padding, separators, line breaks and blanks inside.
  const std::string reply = "000001|15000|Transferencia completa|||SGVs=bG8s\r\nIHdv-cmxk";
  EXPECT_EQ(LogDocument(device_, reply), "Hello, world");
  EXPECT_EQ(Message(), "Codigo: 15000.\nTransferencia completa");

  // Padding ends nothing; a last group of one character yields nothing.
  const std::vector<std::pair<std::string, std::string>> groups = {
      {"QUJD", "ABC"},  {"QUJDRA", "ABCD"},        {"QUJDREU", "ABCDE"},
      {"QUJDR", "ABC"}, {"QQ==QQ==", "A\x04\x10"},
  };
  for (const auto& [base64, text] : groups) {
    SCOPED_TRACE(base64);
    EXPECT_EQ(LogDocument(device_, "000001|15000|ok|||" + base64), text);
  }
}

TEST_F(FunctionsTest, NoLogDocumentWithoutTheCodeOrTheField) {
  EXPECT_EQ(LogDocument(device_, "000001|15000|ok|||QUJD"), "ABC");
  // Each reply clears the last document first.
  EXPECT_EQ(LogDocument(device_, "000001|15000|ok|QUJD"), "");
  EXPECT_EQ(LogDocument(device_, "000001|15001|ok|||QUJD"), "");
}

TEST_F(FunctionsTest, Base64ToAsciiCutsTheCouponAfterItsEnd) {
  // "<CFe>1</CFe>", then fields that decode to bytes of no meaning.
  device_.AnswerAll("000001|15000|ok|||PENGZT4xPC9DRmU+|QUJD|0|x");
  const char* reply = ExtrairLogs(1, kCode);
  EXPECT_EQ(Base64ToAscii(), reply);
  EXPECT_STREQ(reply, "<CFe>1</CFe>");
}

}  // namespace
}  // namespace kovrad::test
