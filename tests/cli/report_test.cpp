// What satcli makes of a reply: the exit status, the fields by name and JSON
// that a script can read whatever bytes the device sent.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

#include "catalog.h"
#include "report.h"

namespace kovrad::cli {
namespace {

COMM_ERROR Record(int32_t code, const char* message) {
  COMM_ERROR record{};
  record.code = code;
  std::strncpy(record.msg, message, sizeof record.msg - 1);
  return record;
}

Report SatReport(const char* function, std::string reply, int32_t code = __NOERROR__) {
  Report report;
  report.function = FindFunction(function);
  report.session = 12;
  report.outcome.called = true;
  report.outcome.text = std::move(reply);
  report.record = Record(code, "");
  return report;
}

QJsonObject Parsed(const std::string& json) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << json;
  return document.object();
}

TEST(SatcliReport, ExitStatusFollowsTheLinkThenTheResultCode) {
  EXPECT_EQ(Judge(SatReport("ConsultarSAT", "000012|08000|SAT em operação||")), Status::kSuccess);
  EXPECT_EQ(Judge(SatReport("ConsultarSAT", "000012|08098|SAT em processamento||")),
            Status::kRefused);
  // Another function's success code is no success here.
  EXPECT_EQ(Judge(SatReport("BloquearSAT", "000012|17000|x||")), Status::kRefused);
  EXPECT_EQ(Judge(SatReport("AtivarSAT", "000012|04006|CSR criado||||-----BEGIN")),
            Status::kSuccess);
  EXPECT_EQ(Judge(SatReport("ConsultarSAT", "000012|9999|Timeout de comunicação", __TIMEOUT__)),
            Status::kLinkError);
  EXPECT_EQ(Judge(SatReport("ConsultarSAT", "Erro ao tentar abrir a porta", __NOCONNECT__)),
            Status::kLinkError);
  // A reply that is no reply line, with the link in order, is no success.
  EXPECT_EQ(Judge(SatReport("ConsultarSAT", "")), Status::kRefused);
  // The stored reply of a session is found whatever its own code says.
  EXPECT_EQ(Judge(SatReport("ConsultarNumeroSessao", "000042|06001|Código inválido||")),
            Status::kSuccess);
  EXPECT_EQ(Judge(SatReport("ConsultarNumeroSessao", "000012|11003|Sessão não existe||")),
            Status::kRefused);

  Report unbound = SatReport("ConsultarSAT", "");
  unbound.outcome.called = false;
  EXPECT_EQ(Judge(unbound), Status::kLinkError);
  Report no_record = SatReport("ConsultarSAT", "000012|08000|ok||");
  no_record.record.reset();
  EXPECT_EQ(Judge(no_record), Status::kLinkError);
}

TEST(SatcliReport, JsonNamesFieldsAndNumbersTheOnesBeyondTheLayout) {
  const QJsonObject json =
      Parsed(JsonReport(SatReport("ExtrairLogs", "000012|15000|Transferência completa|||TE9H|x")));
  EXPECT_EQ(json["funcao"].toString(), "ExtrairLogs");
  EXPECT_EQ(json["numeroSessao"].toInt(), 12);
  const QJsonObject fields = json["campos"].toObject();
  EXPECT_EQ(fields["EEEEE"].toString(), "15000");
  EXPECT_EQ(fields["mensagem"].toString(), QString::fromUtf8("Transferência completa"));
  EXPECT_EQ(fields["mensagemSEFAZ"].toString(), "");
  EXPECT_EQ(fields["arquivoLog"].toString(), "TE9H");
  EXPECT_EQ(fields["campo7"].toString(), "x");
  EXPECT_EQ(json["CodigoErro"].toObject()["nome"].toString(), "__NOERROR__");
}

TEST(SatcliReport, JsonStaysValidWhateverTheBytes) {
  // Quotes, backslashes, control characters and Windows-1252 bytes.
  Report report = SatReport("ConsultarSAT", "000012|08000|\"a\\b\"\n\t\x01 \xE7\xE3o||");
  report.record = Record(__TIMEOUT__, "Timeout na comunica\xE7\xE3o com o equipamento.");
  const QJsonObject json = Parsed(JsonReport(report));
  EXPECT_EQ(json["campos"].toObject()["mensagem"].toString(),
            QString::fromUtf8("\"a\\b\"\n\t\x01 ção"));
  const QJsonObject record = json["CodigoErro"].toObject();
  EXPECT_EQ(record["code"].toInt(), 0x8000);
  EXPECT_EQ(record["nome"].toString(), "__TIMEOUT__");
  EXPECT_EQ(record["msg"].toString(),
            QString::fromUtf8("Timeout na comunicação com o equipamento."));

  // A record whose message fills its field without a terminator.
  COMM_ERROR full{};
  full.code = 77;
  std::memset(full.msg, 'x', sizeof full.msg);
  report.record = full;
  const QJsonObject unnamed = Parsed(JsonReport(report))["CodigoErro"].toObject();
  EXPECT_TRUE(unnamed["nome"].isNull());
  EXPECT_EQ(unnamed["msg"].toString().size(), 800);
}

TEST(SatcliReport, LibraryFunctionResults) {
  Report report;
  report.function = FindFunction("GetPortaSAT");
  report.outcome.called = true;
  report.outcome.null = true;
  report.record = Record(__NOCONNECT__, "");
  EXPECT_TRUE(Parsed(JsonReport(report))["resultado"].isNull());
  EXPECT_EQ(PlainReport(report), "CodigoErro: 1 (__NOCONNECT__)\n");

  report.function = FindFunction("GeraNumeroSessao");
  report.outcome = Outcome();
  report.outcome.called = true;
  report.outcome.text = "41";
  report.outcome.numeric = true;
  report.record.reset();
  EXPECT_EQ(Parsed(JsonReport(report))["resultado"].toInt(), 41);
  EXPECT_EQ(PlainReport(report), "41\n");
}

}  // namespace
}  // namespace kovrad::cli
