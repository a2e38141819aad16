// Compacta and Descompacta on their explicit buffers: level-2 zlib streams,
// and no write past the room they are given, whatever the stream.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compression.h"
#include "sale_codec.h"

namespace kovrad::test {
namespace {

constexpr uint8_t kCanary = 0xA5;

// Room for `size` bytes followed by a guard zone that must stay untouched.
struct GuardedBuffer {
  explicit GuardedBuffer(size_t size) : size(size), bytes(size + 64, kCanary) {}
  bool GuardIntact() const {
    for (size_t i = size; i < bytes.size(); ++i) {
      if (bytes[i] != kCanary) return false;
    }
    return true;
  }
  size_t size;
  std::vector<uint8_t> bytes;
};

TEST(CompactaTest, MakesTheLevelTwoStreamOrRefusesWhenItDoesNotFit) {
  const std::string text = RandomText(20000, "abcdefgh<>/ ", 9);
  GuardedBuffer out(text.size() + 64);
  const long length = Compacta(text.data(), text.size(), out.bytes.data(), out.size);
  ASSERT_GT(length, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.bytes.data()), static_cast<size_t>(length)),
            Deflate(text));

  GuardedBuffer tight(static_cast<size_t>(length) - 1);
  EXPECT_EQ(Compacta(text.data(), text.size(), tight.bytes.data(), tight.size), -1);
  EXPECT_TRUE(tight.GuardIntact());

  GuardedBuffer empty(64);
  EXPECT_EQ(Compacta("", 0, empty.bytes.data(), empty.size), static_cast<long>(Deflate("").size()));
}

TEST(DescompactaTest, ReportsWhatExpandedWithinTheRoomGiven) {
  const std::string text = RandomText(50000, "0123456789ABCDEF|", 11);
  const std::string stream = Deflate(text);
  auto expand = [](std::string_view source, GuardedBuffer& out) {
    const size_t n = Descompacta(reinterpret_cast<const uint8_t*>(source.data()), source.size(),
                                 out.bytes.data(), out.size);
    EXPECT_TRUE(out.GuardIntact());
    return std::string(reinterpret_cast<char*>(out.bytes.data()), n);
  };

  GuardedBuffer whole(text.size() + 10);
  EXPECT_EQ(expand(stream, whole), text);

  GuardedBuffer small(1000);
  EXPECT_EQ(expand(stream, small), text.substr(0, 1000));

  GuardedBuffer cut(text.size());
  const std::string half = expand(std::string_view(stream).substr(0, stream.size() / 2), cut);
  EXPECT_FALSE(half.empty());
  EXPECT_LT(half.size(), text.size());
  EXPECT_EQ(half, text.substr(0, half.size()));

  GuardedBuffer garbage(1000);
  EXPECT_EQ(expand("not a zlib stream", garbage), "");
  EXPECT_EQ(expand("", garbage), "");
}

}  // namespace
}  // namespace kovrad::test
