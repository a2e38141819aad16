// The command exchange through the C interface: frames, the reply wait, link
// errors, the sequence counter and session numbers.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>

#include "device_fixture.h"

namespace kovrad::test {
namespace {

using ExchangeTest = DeviceTest;
using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

constexpr auto npos = std::string::npos;

// ---- Request frames ----

TEST_F(ExchangeTest, ConsultarSatFrameByteForByte) {
  device_.AnswerAll("000042|08000|SAT em opera\xE7\xE3o||");
  EXPECT_STREQ(ConsultarSAT(42), "000042|08000|SAT em opera\xE7\xE3o||");
  const Request r = Sent(0);
  const uint8_t s = r.sequence();
  const Bytes expected = {0x01, s,   0x00, 0x00, 0x13, 0x00, 0x00,
                          0x00, '0', '0',  '0',  '0',  '4',  '2',
                          '|',  'C', 'o',  'n',  's',  'u',  'l',
                          't',  'a', 'r',  'S',  'A',  'T',  static_cast<uint8_t>(0x58 + s)};
  EXPECT_EQ(r.frame, expected);
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
}

TEST_F(ExchangeTest, SessionNumbersAreZeroPaddedToSixDigits) {
  device_.OnRequest([](const Request& r) {
    return Answer::Text(r.text().substr(0, r.text().find('|')) + "|08000|ok||");
  });
  ConsultarSAT(42);
  ConsultarSAT(1234567);
  ConsultarSAT(-5);
  EXPECT_EQ(Sent(0).text(), "000042|ConsultarSAT");
  EXPECT_EQ(Sent(1).text(), "1234567|ConsultarSAT");
  EXPECT_EQ(Sent(2).text(), "-00005|ConsultarSAT");
  EXPECT_EQ(Sent(2).frame,
            RequestFrame(static_cast<uint8_t>(Sent(0).sequence() + 2), "-00005|ConsultarSAT"));
}

TEST_F(ExchangeTest, SequenceByteWrapsAfter256Requests) {
  device_.AnswerAll("000001|08000|ok||");
  for (int i = 0; i <= 256; ++i) ConsultarSAT(1);
  ASSERT_TRUE(device_.WaitForRequests(257));
  const auto all = device_.requests();
  for (size_t i = 1; i < all.size(); ++i) {
    ASSERT_EQ(all[i].sequence(), static_cast<uint8_t>(all[0].sequence() + i)) << "request " << i;
  }
  EXPECT_EQ(all[256].sequence(), all[0].sequence());
}

// ---- Replies ----

TEST_F(ExchangeTest, ReplyAssembledOverSeveralReads) {
  const std::string text = "000042|08000|SAT em opera\xE7\xE3o|0123456789";
  const Bytes frame = ReplyFrame(text);
  // Pauses longer than one read's 100 ms: the wait goes on over empty reads.
  device_.OnRequest([frame](const Request&) {
    Answer a;
    a.chunks.push_back({Bytes(frame.begin(), frame.begin() + 5), 0});
    a.chunks.push_back({Bytes(frame.begin() + 5, frame.begin() + 20), 150});
    a.chunks.push_back({Bytes(frame.begin() + 20, frame.end()), 300});
    return a;
  });
  EXPECT_EQ(std::string(ConsultarSAT(42)), text);
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
}

TEST_F(ExchangeTest, ControlFramesAndUnnumberedTextsAreNotTheReply) {
  const std::string log = StartLog();
  const Bytes not_replies[] = {
      ReplyFrame("000042|08000|x||", 0x06), ReplyFrame("000042|08000|x||", 0x15),
      ReplyFrame("000042|08000|x||", 0x42), ReplyFrame("SAT|08000|ok"), Bytes(64, 0x01)};
  for (const Bytes& junk : not_replies) {
    device_.OnRequest([junk](const Request&) {
      Answer a = Answer::Frame(junk);
      a.chunks.push_back({ReplyFrame("000042|08000|ok||"), 200});
      return a;
    });
    EXPECT_STREQ(ConsultarSAT(42), "000042|08000|ok||");
    EXPECT_EQ(CodigoErro().code, __NOERROR__);
  }
  EXPECT_NE(ReadFile(log).find("bytes descartados"), npos);
}

TEST_F(ExchangeTest, BadChecksumIsLoggedAndTheReplyTaken) {
  const std::string log = StartLog();
  constexpr char kLine[] = "Checksum da resposta n\xE3o confere";
  device_.AnswerAll("000042|08000|ok||");
  ConsultarSAT(42);
  EXPECT_EQ(ReadFile(log).find(kLine), npos);

  Bytes frame = ReplyFrame("000042|08000|ok||");
  frame.back() ^= 0x5A;
  device_.OnRequest([frame](const Request&) { return Answer::Frame(frame); });
  EXPECT_STREQ(ConsultarSAT(42), "000042|08000|ok||");
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
  EXPECT_NE(ReadFile(log).find(kLine), npos);
}

TEST_F(ExchangeTest, RepliesUpToTwoMebibytesArriveWholeAndLongerOnesAreCutLoudly) {
  for (const size_t length : {2097151u, 2097152u, 2097153u, 2200000u}) {
    const std::string big = "000042|" + std::string(length - 7, 'A');
    device_.OnRequest([big, first = true](const Request&) mutable {
      const bool now = first;
      first = false;
      return Answer::Text(now ? big : "000042|08000|ok||");
    });
    CaptureStdout();
    const std::string reply = ConsultarSAT(42);
    const bool cut = length > 2097152u;
    EXPECT_EQ(GetCapturedStdout(), cut ? "BUG: Pacote excesivamente grande ser\xE1 truncado: " +
                                             std::to_string(length) + " bytes"
                                       : "");
    EXPECT_EQ(reply.size(), std::min<size_t>(length, 2097152u));
    EXPECT_EQ(reply.find_first_not_of('A', 7), npos);
    EXPECT_EQ(CodigoErro().code, __NOERROR__);
    // The rest of a longer frame was read and dropped: the next exchange is clean.
    EXPECT_STREQ(ConsultarSAT(42), "000042|08000|ok||") << length;
  }
}

// ---- A reply belongs to its request ----

TEST_F(ExchangeTest, AReplyOfAnotherSessionIsDroppedAndTheWaitGoesOn) {
  const std::string log = StartLog();
  device_.OnRequest([](const Request&) {
    Answer a;
    a.chunks.push_back({ReplyFrame("000041|08000|late||"), 0});
    a.chunks.push_back({ReplyFrame("000042|08000|own||"), 150});
    return a;
  });
  EXPECT_STREQ(ConsultarSAT(42), "000042|08000|own||");
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
  EXPECT_NE(ReadFile(log).find("Resposta da sess\xE3o 41 descartada"), npos);
}

TEST_F(ExchangeTest, ConsultarNumeroSessaoTakesTheStoredReplyOfTheSessionItAsksFor) {
  device_.OnRequest([](const Request& r) {
    Answer a;
    if (r.text().ends_with("000007")) {
      // The stored reply begins with the number looked up.
      a.chunks.push_back({ReplyFrame("000009|08000|other||"), 0});
      a.chunks.push_back({ReplyFrame("000007|06000|0000|stored|||"), 0});
    } else {
      a.chunks.push_back({ReplyFrame("000043|11003|Sessao inexistente||"), 0});
    }
    return a;
  });
  EXPECT_STREQ(ConsultarNumeroSessao(43, "12345678", 7), "000007|06000|0000|stored|||");
  EXPECT_STREQ(ConsultarNumeroSessao(43, "12345678", 8), "000043|11003|Sessao inexistente||");
}

TEST_F(ExchangeTest, DebugChannelShowsRequestAndReply) {
  ScopedEnv debug("KOVRAD_DEBUG", "1");
  device_.AnswerAll("000042|08000|ok||");
  CaptureStderr();
  ConsultarSAT(42);
  ConsultarSAT(42);
  const std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("req -> 000042|ConsultarSAT\n"), npos) << err;
  EXPECT_NE(err.find("ret <- 000042|08000|ok||\n" + std::string(79, '-') + "\n"), npos) << err;
  // A pseudo-terminal has no modem lines: said once at most, and not as a fault.
  EXPECT_EQ(err.find("Inappropriate ioctl"), npos) << err;
  const size_t said = err.find("sem linhas de modem");
  EXPECT_TRUE(said == npos || err.find("sem linhas de modem", said + 1) == npos) << err;
}

// ---- Link errors and the reply text after them ----

TEST_F(ExchangeTest, SilentDeviceTimesOut) {
  const std::string log = StartLog();
  device_.OnRequest([](const Request&) { return Answer::Silence(); });
  EXPECT_STREQ(ConsultarSAT(42), "000042|9999|Timeout de comunica\xE7\xE3o");
  EXPECT_EQ(CodigoErro().code, __TIMEOUT__);
  EXPECT_EQ(Message(), "Timeout na comunica\xE7\xE3o com o equipamento.");
  EXPECT_NE(ReadFile(log).find("Request timed out!\r\n"), npos);
}

TEST_F(ExchangeTest, PortThatCannotBeOpened) {
  device_.AnswerAll("000042|08000|ok||");
  ConsultarSAT(42);
  {
    ScopedEnv elsewhere("KOVRAD_DEV_DIR", dir_ / "nothing");
    const std::string log = StartLog();
    EXPECT_STREQ(BloquearSAT(42, "12345678"), "Erro ao tentar abrir a porta");
    const COMM_ERROR first = CodigoErro();
    const COMM_ERROR again = CodigoErro();
    EXPECT_EQ(first.code, __NOCONNECT__);
    EXPECT_EQ(Message(), kMsgPortaNaoAbre);
    EXPECT_EQ(std::memcmp(&first, &again, sizeof first), 0);
    EXPECT_NE(ReadFile(log).find("Erro ao tentar abrir a porta"), npos);
  }
  // Nothing was framed, so the sequence moved on by one only.
  ConsultarSAT(42);
  EXPECT_EQ(Sent(1).sequence(), static_cast<uint8_t>(Sent(0).sequence() + 1));
}

TEST_F(ExchangeTest, FailedWriteGivesTheFailureLine) {
  // Writes at offset 0 of the process's own memory file always fail.
  std::filesystem::create_symlink("/proc/self/mem", dir_ / "dev/ttyACM1");
  AbreSerialSAT(1, 0, 0, 0, 0);
  const std::string log = StartLog();
  EXPECT_STREQ(BloquearSAT(42, "12345678"),
               "000042|9999|Erro ao tentar abrir a porta de comunicacao!!");
  EXPECT_EQ(CodigoErro().code, __SEMCTS__);
  EXPECT_EQ(Message(), kMsgPortaNaoAbre);
  const std::string logged = ReadFile(log);
  EXPECT_NE(logged.find("WriteFile Failed!!\r\n"), npos);
  EXPECT_NE(logged.find("000042|9999|Erro ao tentar abrir a porta de comunicacao!!"), npos);

  // ExtrairLogs composes its message from the failure line all the same.
  ExtrairLogs(42, "12345678");
  EXPECT_EQ(CodigoErro().code, __SEMCTS__);
  EXPECT_EQ(Message(), "Codigo: 9999.\nErro ao tentar abrir a porta de comunicacao!!");
}

TEST_F(ExchangeTest, RequestTooLargeForTheFrameIsRefusedBeforeSending) {
  device_.AnswerAll("000007|09000|ok||");
  const std::string prefix = "000007|TesteFimAFim|12345678|";
  std::string sale(1577855 - prefix.size(), 'x');
  TesteFimAFim(7, "12345678", sale.c_str());
  const Request largest = Sent(0);
  EXPECT_EQ(largest.length(), 1577855u);
  EXPECT_TRUE(largest.text() == prefix + sale);
  EXPECT_TRUE(largest.checksum_ok());

  sale += 'x';
  const std::string reply = TesteFimAFim(7, "12345678", sale.c_str());
  EXPECT_EQ(CodigoErro().code, __SEMCTS__);
  EXPECT_FALSE(Message().empty());
  EXPECT_EQ(reply, "000007|9999|" + Message());

  ConsultarSAT(7);
  const Request next = Sent(1);
  EXPECT_EQ(next.text(), "000007|ConsultarSAT");
  EXPECT_EQ(next.sequence(), static_cast<uint8_t>(largest.sequence() + 1));
}

// ---- Session numbers ----

// Output of a program that draws two session numbers and fetches the
// decoded document before anything else has run.
std::string RunFreshProcess() {
  FILE* pipe = popen(KOVRAD_FRESH_PROCESS, "r");
  if (pipe == nullptr) return "popen failed";
  std::string out;
  char chunk[256];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
  const int status = pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += " (failed)";
  return out;
}

TEST(FreshProcess, DrawsTheSameSessionNumbersAndHasNoDocument) {
  const std::string first = RunFreshProcess();
  EXPECT_EQ(first, RunFreshProcess());
  // The first two numbers of the never-seeded classic generator.
  EXPECT_EQ(first, "18508 3486 \"\"\n");
}

TEST(SessionNumbers, NeverOneOfTheLastHundred) {
  std::deque<int32_t> recent;
  for (int i = 0; i < 20000; ++i) {
    const int32_t n = GeraNumeroSessao();
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 33767);
    ASSERT_EQ(std::find(recent.begin(), recent.end(), n), recent.end()) << "draw " << i;
    recent.push_back(n);
    if (recent.size() > 100) recent.pop_front();
  }
}

}  // namespace
}  // namespace kovrad::test
