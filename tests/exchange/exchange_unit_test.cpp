// Exchange internals at time limits shorter than any SAT function's, frame
// unwrapping at the buffer's edge and the Base64 decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "base64.h"
#include "device_fixture.h"
#include "exchange.h"
#include "module.h"

namespace kovrad::test {
namespace {

using ExchangeInternals = DeviceTest;

int32_t Exchange(int32_t limit_ms) {
  return ExecutaComando("ConsultarSAT", 42, nullptr, State().reply, limit_ms, -1);
}

Answer FirstBytes(std::string_view text, size_t count) {
  Bytes frame = ReplyFrame(text);
  frame.resize(count);
  return Answer::Frame(frame);
}

void ExpectTimeOut() {
  EXPECT_EQ(State().error.code, __TIMEOUT__);
  EXPECT_STREQ(State().reply.text(), "000042|9999|Timeout de comunica\xE7\xE3o");
}

// ---- The reply wait ----

TEST_F(ExchangeInternals, FewerThanThirteenBytesRunToTheLimit) {
  device_.OnRequest([](const Request&) { return FirstBytes("000042|08000|ok||", 12); });
  EXPECT_EQ(Exchange(1000), 0);
  ExpectTimeOut();
}

TEST_F(ExchangeInternals, ZeroLengthDataFrameIsNotTaken) {
  device_.OnRequest([](const Request&) { return Answer::Frame(ReplyFrame("")); });
  EXPECT_EQ(Exchange(1000), 0);
  ExpectTimeOut();
}

TEST_F(ExchangeInternals, LimitOfZeroEndsTheWaitBeforeReading) {
  device_.AnswerAll("000042|08000|stale||");
  EXPECT_EQ(Exchange(0), 0);
  ExpectTimeOut();
  // The unread reply is on the line now; the next exchange throws it away.
  ASSERT_TRUE(device_.WaitForRequests(1));
  device_.AnswerAll("000042|08000|fresh||");
  EXPECT_EQ(Exchange(5000), 20);
  EXPECT_STREQ(State().reply.text(), "000042|08000|fresh||");
}

TEST_F(ExchangeInternals, FrameCutShortIsTakenOnceItsLengthIsIn) {
  // A longer reply first: its bytes must not show through the cut one.
  device_.AnswerAll("000042|" + std::string(93, 'X'));
  EXPECT_EQ(Exchange(5000), 100);

  // L = 40 and 40 bytes in: the text's last 13 bytes read as zeros.
  const std::string text = "000042|" + std::string(33, 'y');
  device_.OnRequest([&text](const Request&) { return FirstBytes(text, 40); });
  EXPECT_EQ(Exchange(2000), 40);
  EXPECT_EQ(State().error.code, __NOERROR__);
  const std::string expected = text.substr(0, 27) + std::string(74, '\0');
  EXPECT_EQ(std::string(State().reply.text(), expected.size()), expected);

  device_.OnRequest([&text](const Request&) { return FirstBytes(text, 39); });
  EXPECT_EQ(Exchange(1000), 0);
  ExpectTimeOut();
}

// ---- Unwrapping ----

TEST(DecodificaPacote, LengthBeyondTheFrameCopiesOnlyWhatItHolds) {
  Bytes frame = ReplyFrame(std::string(50, 'z'));
  const uint32_t claimed = 3000000;
  for (int i = 0; i < 4; ++i) frame[9 + i] = static_cast<uint8_t>(claimed >> (8 * i));
  std::vector<uint8_t> out(kReplyTextMax, 0);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(DecodificaPacote(frame.data(), frame.size(), out.data()), frame.size() - 13);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "BUG: Pacote excesivamente grande ser\xE1 truncado: 3000000 bytes");
  EXPECT_EQ(std::string(out.begin(), out.begin() + 50), std::string(50, 'z'));
  EXPECT_EQ(out[51], 0);
}

// ---- Base64 ----

std::string Encode(const Bytes& data) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < data.size(); i += 3) {
    const size_t n = std::min<size_t>(3, data.size() - i);
    uint32_t v = 0;
    for (size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? data[i + k] : 0);
    for (size_t k = 0; k < 4; ++k) out += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

TEST(Base64, DecodesWhateverLiesBetweenTheCharacters) {
  std::mt19937 random(7);
  constexpr char kNoise[] = " \r\n|=-_*\xE7";
  for (int round = 0; round < 300; ++round) {
    Bytes data(random() % 40);
    for (auto& b : data) b = static_cast<uint8_t>(random());
    std::string noisy;
    for (char c : Encode(data)) {
      while (random() % 3 == 0) noisy += kNoise[random() % (sizeof kNoise - 1)];
      noisy += c;
    }
    Bytes out(data.size() + 4, 0xEE);
    const size_t n = DecodificaBase64(noisy.data(), noisy.size(), out.data(), out.size());
    out.resize(n);
    ASSERT_EQ(out, data) << noisy;
  }
}

TEST(Base64, WritesNoMoreThanItsCapacity) {
  Bytes out(4);
  EXPECT_EQ(DecodificaBase64("QUJDREVG", 8, out.data(), out.size()), 4u);
  EXPECT_EQ(out, (Bytes{'A', 'B', 'C', 'D'}));
}

TEST(Base64, DocumentAboveTheBufferIsCutToFit) {
  std::string text;
  for (size_t i = 0; i < kDocumentBufferSize / 3 + 10; ++i) text += "QUJD";
  DecodificaDocumento(text.c_str());
  const std::string document = Base64ToAscii();
  EXPECT_EQ(document.size(), kDocumentBufferSize - 1);
  EXPECT_EQ(document.substr(document.size() - 4), "ABCA");
}

}  // namespace
}  // namespace kovrad::test
