// The status reply, the panel's values, the query with its retries and the
// status history.
#include <gtest/gtest.h>

#include <set>

#include <map>
#include <string>
#include <vector>

#include "client/text.h"
#include "core/fault_hint.h"
#include "core/replies.h"
#include "core/status.h"
#include "manager_support.h"

namespace kovrad::manager::test {
namespace {

using kovrad::test::ReadFile;
using kovrad::test::TempDir;

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
  EXPECT_EQ(client::CharacterCount(ReadStatusReply(SampleStatusReplyWith(15, accents))[15]), 99u);
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

class StatusQueryTest : public ::testing::Test {
 protected:
  BoundDevice bound_;
};

// Each call again is announced with its reason; the fixed message gets a
// line on what four silent calls mean.
TEST_F(StatusQueryTest, RetriesFourTimesWhileThePortIsNotReadyAndSaysWhy) {
  bound_.device().AnswerAll("000012|9999|Timeout");
  std::vector<std::string> waits;
  const StatusOutcome outcome = QueryStatus(bound_.library(), "12345678",
                                            [&waits](const std::string& w) { waits.push_back(w); });
  EXPECT_EQ(outcome.kind, StatusOutcome::Kind::kPortFailure);
  EXPECT_EQ(outcome.calls, 4);
  EXPECT_EQ(bound_.Requests().size(), 4u);
  EXPECT_EQ(waits, (std::vector<std::string>{"tentativa 2 de 4: o SAT não respondeu em 20 s",
                                             "tentativa 3 de 4: o SAT não respondeu em 20 s",
                                             "tentativa 4 de 4: o SAT não respondeu em 20 s"}));
  EXPECT_EQ(outcome.message, std::string(kMsgPortFailure) + "\n" + StatusFailureHint("Timeout"));
  EXPECT_NE(StatusFailureHint("Timeout"), StatusFailureHint("Erro ao tentar abrir a porta"));
}

TEST(FaultHintTest, TellsAWrongCodeFromADeviceNotActivatedAndEachLinkError) {
  EXPECT_NE(RefusalHint("Codigo: 10001.\nCódigo de ativação inválido"),
            RefusalHint("Codigo: 10002.\nSAT ainda não ativado"));
  EXPECT_FALSE(RefusalHint("Codigo: 10000.\nResposta com Sucesso"));
  std::set<std::string> hints;
  for (int32_t code : {__NOCONNECT__, __CMDUNKERROR__, __TIMEOUT__, __SEMCTS__}) {
    hints.insert(LinkFaultHint(code).value());
  }
  EXPECT_EQ(hints.size(), 4u);
  EXPECT_FALSE(LinkFaultHint(__NOERROR__));
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
    EXPECT_EQ(outcome.message,
              "000012|10001|Código de ativação inválido||\n" + *RefusalHint(outcome.reply));
  }
}

TEST_F(StatusQueryTest, TheCodeIsSentAsWindows1252) {
  bound_.device().AnswerAll(SampleStatusReply());
  QueryStatus(bound_.library(), client::ToCp1252("ação1234"));
  EXPECT_EQ(bound_.Requests().at(0), "000012|ConsultarStatusOperacional|a\xE7\xE3o1234");
}

TEST(BindingTest, AMissingLibraryIsReportedAndTriedAgainLater) {
  client::Library library({"/nonexistent/libkovrad.so.2", "libkovrad-not-there.so"});
  const StatusOutcome outcome = QueryStatus(library, "12345678");
  EXPECT_EQ(outcome.kind, StatusOutcome::Kind::kUnbound);
  EXPECT_EQ(outcome.calls, 0);
  EXPECT_NE(outcome.message.find("Não foi possível carregar a biblioteca do SAT"),
            std::string::npos);
  EXPECT_EQ(library.handle(), nullptr);
}

}  // namespace
}  // namespace kovrad::manager::test
