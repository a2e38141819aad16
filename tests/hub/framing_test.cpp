// The framing between the hub and its workers: whole messages through, and
// nothing taken from a peer that dies, stalls or sends what no worker would.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <thread>

#include "protocol.h"

namespace kovrad::hub {
namespace {

class Pair {
 public:
  Pair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fd_), 0); }
  ~Pair() {
    for (int fd : fd_) {
      if (fd >= 0) close(fd);
    }
  }
  int hub() const { return fd_[0]; }
  int worker() const { return fd_[1]; }
  void CloseWorker() {
    close(fd_[1]);
    fd_[1] = -1;
  }
  void Raw(const std::string& bytes) {
    ASSERT_EQ(write(worker(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

 private:
  int fd_[2] = {-1, -1};
};

std::string Length(uint32_t n) {
  return {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
          static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)};
}

TEST(WorkerFraming, MessagesArriveWholeByteForByte) {
  Pair pair;
  const Message sent = {"EnviarDadosVenda", "123456", "", std::string("a\0|b\xFF", 5),
                        std::string(1 << 20, 'x')};
  std::thread writer([&] { EXPECT_TRUE(WriteMessage(pair.worker(), sent)); });
  Message got;
  ASSERT_TRUE(ReadMessage(pair.hub(), &got, 10000));
  writer.join();
  EXPECT_EQ(got, sent);
  ASSERT_TRUE(WriteMessage(pair.worker(), {}));
  ASSERT_TRUE(ReadMessage(pair.hub(), &got, 10000));
  EXPECT_TRUE(got.empty());
}

TEST(WorkerFraming, TheLayoutIsCountThenLengthAndBytesLeastSignificantFirst) {
  Pair pair;
  pair.Raw(Length(2) + Length(3) + "abc" + Length(0));
  Message got;
  ASSERT_TRUE(ReadMessage(pair.hub(), &got, 10000));
  EXPECT_EQ(got, (Message{"abc", ""}));
}

TEST(WorkerFraming, APeerThatDiesOrStallsMidMessageGivesNothing) {
  {
    Pair pair;
    pair.Raw(Length(2) + Length(3) + "ab");
    pair.CloseWorker();
    Message got;
    EXPECT_FALSE(ReadMessage(pair.hub(), &got, 10000));
  }
  {
    Pair pair;
    pair.Raw(Length(1) + Length(10) + "12345");
    Message got;
    EXPECT_FALSE(ReadMessage(pair.hub(), &got, 100));
  }
  Pair pair;
  pair.CloseWorker();
  // No SIGPIPE for the hub when a worker is gone.
  EXPECT_FALSE(WriteMessage(pair.hub(), {"ConsultarSAT", "1"}));
}

TEST(WorkerFraming, CountsAndLengthsBeyondAnyRealMessageAreRefused) {
  {
    Pair pair;
    pair.Raw(Length(65));
    Message got;
    EXPECT_FALSE(ReadMessage(pair.hub(), &got, 1000));
  }
  {
    Pair pair;
    pair.Raw(Length(1) + Length(0xFFFFFFFF));
    Message got;
    EXPECT_FALSE(ReadMessage(pair.hub(), &got, 1000));
  }
  Pair pair;
  EXPECT_FALSE(WriteMessage(pair.hub(), {std::string((8u << 20) + 1, 'x')}));
}

}  // namespace
}  // namespace kovrad::hub
