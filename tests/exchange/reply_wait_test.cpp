// The reply wait on a scripted port and a virtual clock: what is and is not a
// call's reply, and how long a call waits for it, up to the half-hour limit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "exchange.h"
#include "fake_device.h"
#include "kovrad.h"
#include "module.h"
#include "scripted_port.h"

namespace kovrad::test {
namespace {

constexpr int32_t kSession = 4242;
constexpr char kReply[] = "004242|08000|SAT em opera\xE7\xE3o||";
constexpr char kTimeOut[] = "004242|9999|Timeout de comunica\xE7\xE3o";

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Frame(std::string_view text) {
  return ReplyFrame(text);
}

class ReplyWait : public ::testing::Test {
 protected:
  ReplyWait() {
    static const bool loaded = (CarregaBiblioteca(), true);
    (void)loaded;
    AbreSerialSAT(0, 0, 0, 0, 0);
  }

  // Runs one exchange with `limit_ms` against `stream`, paced by `pacing`;
  // the reply text, and the virtual milliseconds it took in `elapsed_ms_`.
  std::string Call(int32_t limit_ms, const Bytes& stream, const Bytes& pacing = {}) {
    stream_ = stream;
    pacing_ = pacing;
    fuzz::PlayPort({stream_, pacing_});
    const int64_t start = fuzz::ClockMs();
    ExecutaComando("ConsultarSAT", kSession, nullptr, State().reply, limit_ms, -1);
    elapsed_ms_ = fuzz::ClockMs() - start;
    fuzz::RequirePortClosed();
    return State().reply.text();
  }

  Bytes stream_, pacing_;
  int64_t elapsed_ms_ = 0;
};

// Silent reads (100 virtual ms each) before the stream starts.
Bytes SilentFor(int64_t ms) {
  return Bytes(static_cast<size_t>(ms / 100), 0);
}

// What a device or a line may send that is not the reply to session 4242.
std::vector<Bytes> NotReplies() {
  return {
      Frame("SAT|08000|ok"),
      Bytes(300, 0x01),
      // A header announcing 1 MB, then a few bytes of junk.
      Bytes{0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x10, 0x00} + Bytes(40, 'x'),
      Frame(""),
      Frame("4242"),
      ReplyFrame("004242|08000|ok", 0x06),
      Frame("000101|08000|late||"),
  };
}

TEST_F(ReplyWait, WhatDoesNotOpenWithTheSessionIsNotTheReply) {
  for (const Bytes& junk : NotReplies()) {
    EXPECT_EQ(Call(5000, junk), kTimeOut);
    EXPECT_EQ(CodigoErro().code, __TIMEOUT__);
    EXPECT_GE(elapsed_ms_, 5000);
  }
}

TEST_F(ReplyWait, TheReplyIsFoundBehindWhatIsNot) {
  for (const Bytes& junk : NotReplies()) {
    EXPECT_EQ(Call(5000, junk + Frame(kReply)), kReply);
    EXPECT_EQ(CodigoErro().code, __NOERROR__);
    EXPECT_LT(elapsed_ms_, 1000);
  }
}

TEST_F(ReplyWait, TheTailOfALateReplyDoesNotCostTheNextCallItsLimit) {
  // The head of an earlier call's reply was thrown away with the stale input;
  // its tail arrives in pieces in front of this call's reply.
  const Bytes late = Frame(std::string("000101|06000|") + std::string(3000, 'A') + "||");
  const Bytes tail(late.begin() + 200, late.end());
  const Bytes pacing = {0, 0, 100, 0, 100, 0};
  EXPECT_EQ(Call(5000, tail + Frame(kReply), pacing), kReply);
  EXPECT_LT(elapsed_ms_, 1500);
}

TEST_F(ReplyWait, AReplyJustWithinTheLimitIsTakenWhateverTheClockShows) {
  for (int64_t phase : {0, 300, 900, 999}) {
    fuzz::AdvanceClock(1000 - fuzz::ClockMs() % 1000 + phase);
    EXPECT_EQ(Call(5000, Frame(kReply), SilentFor(4900)), kReply) << "phase " << phase;
    EXPECT_GE(elapsed_ms_, 4900);
  }
}

TEST_F(ReplyWait, ASilentDeviceIsGivenTheWholeLimitAndNoMore) {
  for (int32_t limit : {1000, 5000, 20000, 1800000}) {
    EXPECT_EQ(Call(limit, {}), kTimeOut);
    EXPECT_GE(elapsed_ms_, limit);
    EXPECT_LT(elapsed_ms_, limit + 200);
  }
  EXPECT_EQ(Call(0, Frame(kReply)), kTimeOut);
  EXPECT_EQ(elapsed_ms_, 0);
}

TEST_F(ReplyWait, TheHalfHourLimitTakesAReplyInItsLastSecond) {
  EXPECT_EQ(Call(1800000, Frame(kReply), SilentFor(1799500)), kReply);
  EXPECT_GE(elapsed_ms_, 1799500);
}

}  // namespace
}  // namespace kovrad::test
