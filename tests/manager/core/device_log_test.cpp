// The device log's display lines and its extraction against a scripted device.
#include <gtest/gtest.h>

#include <QByteArray>
#include <string>
#include <vector>

#include "client/text.h"
#include "core/device_log.h"
#include "core/replies.h"
#include "manager_support.h"

namespace kovrad::manager::test {
namespace {

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
  EXPECT_TRUE(client::IsValidUtf8(lines[0]));
  EXPECT_EQ(client::CharacterCount(lines[0]), kLogLineLimit);
}

TEST(LogFormatTest, RecordsAreReadInEitherEncoding) {
  const auto lines = FormatLog(
      "h\n20240315103000|a|b|c:ativa\xE7\xE3o\n20240315103000|a|b|c:ativa\xC3\xA7\xC3\xA3o\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "1 15/03/2024 10:30:00 c b ativação");
  EXPECT_EQ(lines[1], "2 15/03/2024 10:30:00 c b ativação");
}

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

}  // namespace
}  // namespace kovrad::manager::test
