// The manager's core on its own: text conversion, input checks, the error
// report, the status reply and the binding, against a scripted device.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "binding.h"
#include "checks.h"
#include "manager_support.h"
#include "session.h"
#include "status.h"
#include "text.h"

namespace kovrad::manager::test {
namespace {

using kovrad::test::ReadFile;
using kovrad::test::TempDir;

TEST(TextTest, Cp1252RoundTripsAccentsAndTheHighRange) {
  EXPECT_EQ(ToCp1252("Código ação"),
            "C\xF3"
            "digo a\xE7\xE3o");
  EXPECT_EQ(ToCp1252("€ “x” – Œ"), "\x80 \x93x\x94 \x96 \x8C");
  EXPECT_EQ(FromCp1252("\x80\x9F\xE9"), "€Ÿé");
  EXPECT_EQ(FromCp1252(ToCp1252("Informações ‰ ™")), "Informações ‰ ™");
}

TEST(TextTest, WhatCp1252CannotHoldBecomesAQuestionMark) {
  EXPECT_EQ(ToCp1252("a✓b"), "a?b");
  EXPECT_EQ(ToCp1252("日本"), "??");
  EXPECT_EQ(ToCp1252("x\xC3"), "x?");  // a sequence cut short
}

TEST(TextTest, RepliesAreReadAsUtf8WhenValidAndAsCp1252Otherwise) {
  EXPECT_EQ(DecodeReply("C\xC3\xB3"
                        "digo"),
            "Código");
  EXPECT_EQ(DecodeReply("C\xF3"
                        "digo de ativa\xE7\xE3o inv\xE1lido"),
            "Código de ativação inválido");
  EXPECT_EQ(DecodeReply("\xED\xA0\x80"), "í\xC2\xA0€");  // an encoded surrogate is not UTF-8
  EXPECT_EQ(CharacterCount("ação"), 4u);
}

TEST(StagingTest, HoldsNinetyNineBytesAndRefusesMore) {
  StagedField field;
  EXPECT_TRUE(field.Stage(std::string(99, 'a')));
  EXPECT_EQ(field.size(), 99u);
  EXPECT_FALSE(field.Stage(std::string(100, 'a')));
  EXPECT_STREQ(field.c_str(), "");
  // Counted in staged bytes: 99 accented letters fit.
  std::string accents;
  for (int i = 0; i < 99; ++i) accents += "é";
  EXPECT_TRUE(field.Stage(accents));
  EXPECT_EQ(field.str(), std::string(99, '\xE9'));
  StagedSignature signature;
  EXPECT_TRUE(signature.Stage(std::string(499, 's')));
  EXPECT_FALSE(signature.Stage(std::string(500, 's')));
}

TEST(StagingTest, KeepsBlanks) {
  StagedField field;
  ASSERT_TRUE(field.Stage(" ab "));
  EXPECT_STREQ(field.c_str(), " ab ");
}

TEST(CnpjTest, CheckDigits) {
  char digits[15];
  EXPECT_TRUE(ValidaCNPJ("11.111.111/1111-80", digits));
  EXPECT_STREQ(digits, "11111111111180");
  EXPECT_TRUE(ValidaCNPJ("00.000.000/0000-00", digits));
  EXPECT_FALSE(ValidaCNPJ("11.111.111/1111-11", digits));
  EXPECT_STREQ(digits, "11111111111111");  // written before the digits are compared
  EXPECT_TRUE(ValidaCNPJ("11.111 111/1111-8 0", digits));
  EXPECT_TRUE(ValidaCNPJ("a1b1111111111180", digits));
}

TEST(CnpjTest, AnyOtherDigitCountFailsAndLeavesTheBufferAlone) {
  for (const char* text : {"  .   .   /    -  ", "11.111.111/1111- 8", "11.111.111/1111-800"}) {
    char digits[15] = "untouched";
    EXPECT_FALSE(ValidaCNPJ(text, digits)) << text;
    EXPECT_STREQ(digits, "untouched") << text;
  }
}

TEST(CnpjTest, TheInputBufferCanReceiveTheDigits) {
  StagedField field;
  ASSERT_TRUE(field.Stage("11.111.111/1111-80"));
  EXPECT_TRUE(ValidaCNPJ(field.c_str(), field.data()));
  EXPECT_STREQ(field.c_str(), "11111111111180");
}

TEST(CodeRulesTest, ActivationWindow) {
  EXPECT_EQ(CheckActivationCode(7, "1234567", "1234567"),
            "Código de ativação deve conter no mínimo 8 caracteres");
  EXPECT_EQ(CheckActivationCode(8, "12345678", "12345678"), std::nullopt);
  EXPECT_EQ(CheckActivationCode(8, "abcdefgh", "ABCDEFGH"),
            "Código de ativação e de confirmação não são identicos");
  EXPECT_EQ(CheckActivationCode(8, "    1234", "    1234"), std::nullopt);
}

TEST(CodeRulesTest, CodeChangeWindow) {
  EXPECT_EQ(CheckNewCode("1234567", "1234567"),
            "Código de ativação deve ter no minimo 8 caracteres");
  EXPECT_EQ(CheckNewCode("12345678", "12345678"), std::nullopt);
  EXPECT_EQ(CheckNewCode("abcdefgh", "abcdefgH"),
            "Código de ativação não é igual ao confirmação do código de ativação");
  EXPECT_EQ(CheckNewCode("1234567", "different"),
            "Código de ativação deve ter no minimo 8 caracteres");  // first rule first
}

COMM_ERROR Record(int32_t code, const std::string& msg) {
  COMM_ERROR record{};
  record.code = code;
  std::memcpy(record.msg, msg.data(), std::min(msg.size(), sizeof record.msg));
  return record;
}

TEST(ErrorReportTest, LinkErrorCodesHaveFixedTexts) {
  EXPECT_EQ(ErrorReport(Record(__NOCONNECT__, "x")), "   Porta de comunicação não conectada.   ");
  EXPECT_EQ(ErrorReport(Record(__CMDUNKERROR__, "x")),
            "    Comando recebido do equipamento não reconhecido.  ");
  EXPECT_EQ(ErrorReport(Record(__TIMEOUT__, "x")),
            "   TimeOut: Equipamento não está respondendo as mensagens.");
  EXPECT_EQ(ErrorReport(Record(__SEMCTS__, "whatever it says")), "   Sem Sinal CTS.   ");
}

TEST(ErrorReportTest, OtherCodesShowTheMessageAndThirtyBlanks) {
  EXPECT_EQ(ErrorReport(Record(0, "")), std::string(30, ' '));
  EXPECT_EQ(ErrorReport(Record(0,
                               "Codigo: 14000.\nC\xF3"
                               "digo alterado")),
            "Codigo: 14000.\nCódigo alterado" + std::string(30, ' '));
  EXPECT_EQ(ErrorReport(Record(7, "m")), "m" + std::string(30, ' '));
  const std::string longest(799, 'm');
  EXPECT_EQ(ErrorReport(Record(0, longest)), longest + std::string(30, ' '));
  // A record that fills its field without a terminating zero is read no further.
  EXPECT_EQ(ErrorReport(Record(0, std::string(800, 'z'))),
            std::string(800, 'z') + std::string(30, ' '));
}

TEST(StatusReplyTest, ReadsTheTwentyEightFields) {
  const StatusReply r = ReadStatusReply(SampleStatusReply("3"));
  EXPECT_EQ(r[1], "000012");
  EXPECT_EQ(r[6], "900004019");
  EXPECT_EQ(r[27], "20280103");
  EXPECT_EQ(r[28], "3");
  EXPECT_EQ(OperatingState(r[28]), "Bloqueio Autônomo");
  EXPECT_EQ(DateTimeText(r[18]), "2024/03/15 10:30:00");
  EXPECT_EQ(DateText(r[27]), "2028/01/03");
}

TEST(StatusReplyTest, FieldTwentyEightIsItsFirstCharacter) {
  EXPECT_EQ(ReadStatusReply(SampleStatusReply("2xyz"))[28], "2");
  EXPECT_EQ(OperatingState("4"), "Bloqueio para desativação");
  EXPECT_EQ(OperatingState("0"), "Desbloqueado");
  EXPECT_EQ(OperatingState("9"), std::nullopt);
  EXPECT_EQ(OperatingState(""), std::nullopt);
}

TEST(StatusReplyTest, AnEmptyFieldEndsTheReading) {
  const StatusReply r = ReadStatusReply(SampleStatusReplyWith(11, ""));
  EXPECT_EQ(r[10], "255.255.255.0");
  for (int n = 11; n <= kStatusFields; ++n) EXPECT_EQ(r[n], "") << n;
  EXPECT_EQ(ReadStatusReply("000012|10000|ok")[4], "");
}

TEST(StatusReplyTest, LongFieldsAreCutAtTheirWidthAndTheRestIsRead) {
  const StatusReply r = ReadStatusReply(SampleStatusReplyWith(6, std::string(400, '6')) + "");
  EXPECT_EQ(r[6], std::string(299, '6'));
  EXPECT_EQ(r[7], "DHCP");
  EXPECT_EQ(ReadStatusReply(SampleStatusReplyWith(7, std::string(250, 'x')))[7].size(), 199u);
  EXPECT_EQ(ReadStatusReply(SampleStatusReplyWith(15, std::string(150, 'b')))[15].size(), 99u);
  // Widths count characters, not bytes.
  std::string accents;
  for (int i = 0; i < 120; ++i) accents += "é";
  EXPECT_EQ(CharacterCount(ReadStatusReply(SampleStatusReplyWith(15, accents))[15]), 99u);
}

TEST(StatusReplyTest, ShortDatesEndWhereTheCharactersRunOut) {
  EXPECT_EQ(DateTimeText(""), "");
  EXPECT_EQ(DateTimeText("2024"), "2024/");
  EXPECT_EQ(DateText("20240315103000"), "2024/03/15");
  // A date field with accented letters (a faulty device) keeps them whole.
  EXPECT_EQ(DateTimeText("2024é3"), "2024/é3/");
  EXPECT_EQ(DateText("ç2024031"), "ç202/40/31");
}

TEST(StatusReplyTest, PanelRowsFollowTheirFields) {
  const StatusReply r = ReadStatusReply(SampleStatusReply("1"));
  std::map<std::string, std::string> shown;
  for (const PanelRow& row : kPanelRows) shown[row.label] = PanelValue(row, r).value_or("<kept>");
  EXPECT_EQ(shown["Serie"], "900004019");
  EXPECT_EQ(shown["mac"], "00:11:22:33:44:55");
  EXPECT_EQ(shown["IpSAT"], "192.168.0.20");
  EXPECT_EQ(shown["StatusSAT"], "Bloqueio SEFAZ");
  EXPECT_EQ(shown["TXSefaz"], "2024/03/15 10:20:00");
  EXPECT_EQ(shown["DataEmissaoCert"], "2023/01/02");
  EXPECT_EQ(shown["VencimentoCert"], "2028/01/03");
  EXPECT_EQ(shown.size(), 23u);
}

TEST(StatusHistoryTest, SavesOneLinePerReplyReplacingTheFile) {
  TempDir dir;
  kovrad::test::WriteFile(dir / "h.txt", "old content that is longer\n");
  StatusHistory history;
  history.Append("a|b");
  history.Append("c|d");
  std::string problem;
  ASSERT_TRUE(history.Save(dir / "h.txt", &problem)) << problem;
  EXPECT_EQ(ReadFile(dir / "h.txt"), "a|b\nc|d\n");
  EXPECT_FALSE(history.Save(dir / "missing/h.txt", &problem));
  EXPECT_NE(problem.find("missing/h.txt"), std::string::npos);
}

TEST(BindingTest, TheLibraryIsLoadedOnceForTheRun) {
  Library library;
  EXPECT_EQ(library.handle(), nullptr);
  std::string problem;
  ASSERT_NE(library.Lookup("VersaoLib", &problem), nullptr) << problem;
  void* first = library.handle();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(library.Lookup("CodigoErro", &problem), nullptr);
  EXPECT_EQ(library.handle(), first);
}

TEST(BindingTest, OnlyAProgramInTheBuildTreeTakesTheLibraryBuiltThere) {
  const std::filesystem::path build = KOVRAD_BUILD_DIR;
  const std::vector<std::string> here = Library::DefaultCandidates();
  ASSERT_EQ(here.size(), 4u);
  EXPECT_TRUE(std::filesystem::exists(here[0])) << here[0];
  const std::string name = here.back();

  const std::vector<std::string> installed = Library::CandidatesFor("/usr/bin/Ativacao");
  ASSERT_EQ(installed.size(), 3u);
  EXPECT_EQ(installed[0], "/usr/bin/" + name);
  EXPECT_EQ(std::filesystem::path(installed[1]).lexically_normal().string().rfind("/usr/lib/", 0),
            0u)
      << installed[1];
  EXPECT_EQ(installed[2], name);
  // A neighbour whose name merely begins with the build directory's.
  const std::filesystem::path neighbour = build.string() + "-old/bin/Ativacao";
  EXPECT_EQ(Library::CandidatesFor(neighbour).size(), 3u);
  EXPECT_EQ(Library::CandidatesFor(build / "manager/../cli/satcli").front(), here[0]);
}

TEST(BindingTest, AMissingExportIsReportedAndNothingIsCalled) {
  Library library({"libz.so.1"});
  const Reply reply = KOVRAD_SAT(library, ConsultarStatusOperacional, 12, "code");
  EXPECT_FALSE(reply.called);
  EXPECT_EQ(reply.problem,
            "A função ConsultarStatusOperacional não foi encontrada na biblioteca do SAT.");
  EXPECT_EQ(ReportAfterCall(library, reply), reply.problem);
  std::string problem;
  EXPECT_FALSE(library.ErrorRecord(&problem));
  EXPECT_NE(problem.find("CodigoErro"), std::string::npos);
}

TEST(BindingTest, AMissingLibraryIsReportedAndTriedAgainLater) {
  Library library({"/nonexistent/libkovrad.so.2", "libkovrad-not-there.so"});
  const StatusOutcome outcome = QueryStatus(library, "12345678");
  EXPECT_EQ(outcome.kind, StatusOutcome::Kind::kUnbound);
  EXPECT_EQ(outcome.calls, 0);
  EXPECT_NE(outcome.message.find("Não foi possível carregar a biblioteca do SAT"),
            std::string::npos);
  EXPECT_EQ(library.handle(), nullptr);
}

class StatusQueryTest : public ::testing::Test {
 protected:
  BoundDevice bound_;
};

TEST_F(StatusQueryTest, RetriesFourTimesWhileThePortIsNotReady) {
  bound_.device().AnswerAll("000012|9999|Timeout");
  const StatusOutcome outcome = QueryStatus(bound_.library(), "12345678");
  EXPECT_EQ(outcome.kind, StatusOutcome::Kind::kPortFailure);
  EXPECT_EQ(outcome.calls, 4);
  EXPECT_EQ(bound_.Requests().size(), 4u);
  EXPECT_EQ(outcome.message, kMsgPortFailure);
}

TEST_F(StatusQueryTest, StopsRetryingOnceTheDeviceIsReady) {
  int n = 0;
  bound_.device().OnRequest([&n](const kovrad::test::Request&) {
    return kovrad::test::Answer::Text(++n < 3 ? "000012|9999|SAT n\xE3o est\xE1 pronta"
                                              : SampleStatusReply());
  });
  const StatusOutcome outcome = QueryStatus(bound_.library(), "12345678");
  EXPECT_EQ(outcome.kind, StatusOutcome::Kind::kSuccess);
  EXPECT_EQ(outcome.calls, 3);
  EXPECT_EQ(bound_.Requests().at(2), "000012|ConsultarStatusOperacional|12345678");
}

TEST_F(StatusQueryTest, SuccessInEitherCase) {
  bound_.device().AnswerAll("000012|10000|Resposta com sucesso|||9");
  EXPECT_EQ(QueryStatus(bound_.library(), "x").kind, StatusOutcome::Kind::kSuccess);
}

TEST_F(StatusQueryTest, AnInvalidCodeIsRecognisedInEitherEncoding) {
  for (const char* message : {"C\xF3"
                              "digo de ativa\xE7\xE3o inv\xE1lido",
                              "C\xC3\xB3"
                              "digo de ativa\xC3\xA7\xC3\xA3o inv\xC3\xA1lido"}) {
    bound_.device().AnswerAll(std::string("000012|10001|") + message + "||");
    const StatusOutcome outcome = QueryStatus(bound_.library(), "wrong");
    EXPECT_EQ(outcome.kind, StatusOutcome::Kind::kRefused);
    EXPECT_TRUE(outcome.code_invalid);
    EXPECT_EQ(outcome.message, "000012|10001|Código de ativação inválido||");
  }
}

TEST_F(StatusQueryTest, TheCodeIsSentAsWindows1252) {
  bound_.device().AnswerAll(SampleStatusReply());
  QueryStatus(bound_.library(), ToCp1252("ação1234"));
  EXPECT_EQ(bound_.Requests().at(0), "000012|ConsultarStatusOperacional|a\xE7\xE3o1234");
}

TEST_F(StatusQueryTest, CodeChangeSendsTheOptionAndReportsTheResult) {
  bound_.device().AnswerAll(
      "000012|18000|C\xF3"
      "digo de ativa\xE7\xE3o alterado||");
  const auto messages = ChangeCode(bound_.library(), {"old-code", 2, "new-code", "new-code"});
  EXPECT_EQ(bound_.Requests().at(0),
            "000012|TrocarCodigoDeAtivacaoSAT|old-code|2|new-code|new-code");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Codigo: 18000.\nCódigo de ativação alterado" + std::string(30, ' '));
}

TEST(CodeChangeTest, ThePortTextIsReportedBeforeTheRecord) {
  // The library never answers with this exact text; a device can.
  BoundDevice bound;
  bound.device().AnswerAll("Erro ao tentar abrir a porta de comunicacao");
  const auto messages = ChangeCode(bound.library(), {"a", 1, "b", "b"});
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], kMsgPortFailure);
}

}  // namespace
}  // namespace kovrad::manager::test
