// The emulator's side of the link: finding request frames in a noisy byte
// stream, and what each fault mode does to a reply frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "faults.h"
#include "frames.h"
#include "link.h"

namespace satemu {
namespace {

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class FrameReaderTest : public ::testing::Test {
 protected:
  static constexpr size_t kMaxText = 64;

  void Feed(const Bytes& bytes) { reader_.Feed(bytes.data(), bytes.size()); }
  std::vector<std::string> Frames() {
    std::vector<std::string> texts;
    while (auto frame = reader_.Next()) texts.push_back(frame->text);
    return texts;
  }
  std::string Reports() const {
    std::string all;
    for (const auto& r : reports_) all += r + "\n";
    return all;
  }

  std::vector<std::string> reports_;
  FrameReader reader_{[this](const std::string& r) { reports_.push_back(r); }, kMaxText};
};

using Texts = std::vector<std::string>;

TEST_F(FrameReaderTest, AssemblesFramesFromAnyCutOfTheStream) {
  const Bytes stream =
      Join({RequestBytes("000001|ConsultarSAT"), RequestBytes("000002|ConsultarSAT")});
  Texts texts;
  for (uint8_t byte : stream) {
    reader_.Feed(&byte, 1);
    for (auto& t : Frames()) texts.push_back(t);
  }
  EXPECT_EQ(texts, (Texts{"000001|ConsultarSAT", "000002|ConsultarSAT"}));
  EXPECT_FALSE(reader_.Pending());
  EXPECT_TRUE(reports_.empty()) << Reports();
}

TEST_F(FrameReaderTest, KeepsTheSequenceAndZeroBytesOfABinaryPayload) {
  const std::string text("000003|EnviarDadosVenda|code|\0\0\x01\x02", 33);
  Feed(RequestBytes(text, 200));
  auto frame = reader_.Next();
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->sequence, 200);
  EXPECT_EQ(frame->text, text);
}

TEST_F(FrameReaderTest, DropsGarbageBeforeAFrameAndReportsIt) {
  // Stray start bytes among the garbage must not swallow the frame.
  Feed(Join({{0x55, 0x01, 0x02, 0xFF, 0x01, 0x00}, RequestBytes("000004|ConsultarSAT")}));
  EXPECT_EQ(Frames(), Texts{"000004|ConsultarSAT"});
  EXPECT_NE(Reports().find("dropped 6 byte(s)"), std::string::npos) << Reports();
}

TEST_F(FrameReaderTest, ResynchronisesAfterBadFrames) {
  Bytes bad_checksum = RequestBytes("000005|ConsultarSAT");
  ++bad_checksum.back();
  Bytes too_long = RequestBytes("000006|ConsultarSAT");
  too_long[4] = kMaxText + 1;
  Feed(Join({bad_checksum, too_long, RequestBytes("000007|ConsultarSAT")}));
  EXPECT_EQ(Frames(), Texts{"000007|ConsultarSAT"});
  EXPECT_NE(Reports().find("bad checksum"), std::string::npos) << Reports();
  EXPECT_NE(Reports().find("announcing 65 bytes"), std::string::npos) << Reports();
}

TEST_F(FrameReaderTest, FindsAFrameInsideAnUnfinishedOneOnceAbandoned) {
  // A header announcing more than ever comes swallows the good frame behind
  // it until the line goes quiet.
  Bytes unfinished = {kSoh, 1, 0, 0, 60, 0, 0, 0, 'x', 'y'};
  Feed(Join({unfinished, RequestBytes("000008|ConsultarSAT")}));
  EXPECT_TRUE(Frames().empty());
  EXPECT_TRUE(reader_.Pending());
  reader_.Abandon();
  EXPECT_EQ(Frames(), Texts{"000008|ConsultarSAT"});
  EXPECT_FALSE(reader_.Pending());

  // A run of false starts costs one quiet spell in all, not one each.
  Bytes false_starts;
  for (int i = 0; i < 50; ++i)
    false_starts.insert(false_starts.end(), {kSoh, 1, 0, 0, 60, 0, 0, 0});
  Feed(false_starts);
  EXPECT_TRUE(Frames().empty());
  reader_.Abandon();
  EXPECT_TRUE(Frames().empty());
  EXPECT_FALSE(reader_.Pending());
  // What arrives next is read as usual again.
  Feed(RequestBytes("000009|ConsultarSAT"));
  EXPECT_EQ(Frames(), Texts{"000009|ConsultarSAT"});
}

TEST(ReplyFrame, HasTheHostsLayout) {
  const Bytes frame = ReplyFrame("abc", 9);
  ASSERT_EQ(frame.size(), 17u);
  EXPECT_EQ(frame[0], kSoh);
  EXPECT_EQ(frame[1], 9);
  EXPECT_EQ(ReadLe32(frame.data() + 9), 3u);
  EXPECT_EQ(std::string(frame.begin() + 13, frame.begin() + 16), "abc");
  EXPECT_EQ(frame[16], Checksum(frame.data() + 1, 15));
}

Fault Parsed(std::string_view option) {
  Fault fault;
  std::string error;
  EXPECT_TRUE(ParseFault(option, &fault, &error)) << option << ": " << error;
  return fault;
}

Bytes Concatenated(const std::vector<Chunk>& plan) {
  Bytes all;
  for (const Chunk& c : plan) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
  return all;
}

TEST(Faults, EachModeChangesTheReplyAsNamed) {
  const std::string reply = "000001|08000|SAT em operação||";
  const Bytes frame = ReplyFrame(reply, 3);
  EXPECT_EQ(Concatenated(PlanReply(Fault{}, reply, 3)), frame);
  EXPECT_TRUE(PlanReply(Parsed("silent"), reply, 3).empty());

  const auto delayed = PlanReply(Parsed("delay:1500"), reply, 3);
  ASSERT_EQ(delayed.size(), 1u);
  EXPECT_EQ(delayed[0].pause_ms, 1500);
  EXPECT_EQ(delayed[0].bytes, frame);

  const auto split = PlanReply(Parsed("split:40"), reply, 3);
  ASSERT_GE(split.size(), 4u);
  EXPECT_EQ(Concatenated(split), frame);
  EXPECT_EQ(split[0].pause_ms, 0);
  for (size_t i = 1; i < split.size(); ++i) EXPECT_EQ(split[i].pause_ms, 40);

  Bytes checksum = Concatenated(PlanReply(Parsed("checksum"), reply, 3));
  EXPECT_EQ(checksum.back(), static_cast<uint8_t>(frame.back() + 1));
  checksum.back() = frame.back();
  EXPECT_EQ(checksum, frame);

  EXPECT_EQ(Concatenated(PlanReply(Parsed("control"), reply, 3))[0], 0x15);
  EXPECT_EQ(Concatenated(PlanReply(Parsed("control:0x7F"), reply, 3))[0], 0x7F);

  const Bytes oversized = Concatenated(PlanReply(Parsed("oversized"), reply, 3));
  EXPECT_GT(ReadLe32(oversized.data() + 9), 2097152u);
  EXPECT_EQ(std::string(oversized.begin() + 13, oversized.begin() + 13 + reply.size()), reply);

  const Bytes garbage = Concatenated(PlanReply(Parsed("garbage:20"), reply, 3));
  EXPECT_EQ(Bytes(garbage.begin(), garbage.begin() + 20), Bytes(20, 0));
  EXPECT_EQ(Bytes(garbage.begin() + 20, garbage.end()), frame);

  EXPECT_EQ(Concatenated(PlanReply(Parsed("text:000001|99|fixo"), reply, 3)),
            ReplyFrame("000001|99|fixo", 3));
}

TEST(Faults, RefusesWhatItCannotDo) {
  for (const char* option : {"", "loud", "delay", "delay:-1", "delay:x", "control:0x01",
                             "control:256", "garbage:0", "silent:3", "text"}) {
    Fault fault;
    std::string error;
    EXPECT_FALSE(ParseFault(option, &fault, &error)) << option;
    EXPECT_FALSE(error.empty()) << option;
  }
}

TEST(Faults, ApplyOnlyToTheFunctionNamed) {
  Fault fault = Parsed("silent");
  EXPECT_TRUE(fault.AppliesTo("ExtrairLogs"));
  fault.only = "ConsultarSAT";
  EXPECT_TRUE(fault.AppliesTo("ConsultarSAT"));
  EXPECT_FALSE(fault.AppliesTo("ExtrairLogs"));
  EXPECT_FALSE(Fault{}.AppliesTo("ConsultarSAT"));
}

}  // namespace
}  // namespace satemu
