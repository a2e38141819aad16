// Replies that come late, calls that overlap and devices that never stop
// sending: none of them may hand a call another call's reply, hold it beyond
// its bound, or leave the port shut to other programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fake_device.h"
#include "kovrad.h"
#include "pty_responder.h"
#include "satemu_process.h"

namespace kovrad::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr char kCode[] = "12345678";

std::string Field(std::string_view reply, int index) {
  for (int i = 0; i < index; ++i) reply.remove_prefix(std::min(reply.size(), reply.find('|') + 1));
  return std::string(reply.substr(0, reply.find('|')));
}

// Whether another process could take the port now.
bool PortIsFree(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return free;
}

TEST(LateReply, IsNeverTakenByTheNextCall) {
  TempDir dir;
  Satemu device(dir.path(), {"--kit", "--fault", "delay:5500", "--fault-only", "ConsultarSAT"});
  ScopedEnv dev("KOVRAD_DEV_DIR", device.dev_dir());
  ScopedEnv sys("KOVRAD_SYSFS_DIR", device.sys_dir());
  AbreSerialSAT(0, 0, 0, 0, 0);

  EXPECT_STREQ(ConsultarSAT(101), "000101|9999|Timeout de comunica\xE7\xE3o");
  EXPECT_EQ(CodigoErro().code, __TIMEOUT__);
  // ConsultarSAT's reply arrives while these wait for their own.
  const std::string status = ConsultarStatusOperacional(102, kCode);
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
  EXPECT_EQ(Field(status, 0), "000102");
  EXPECT_EQ(Field(status, 1), "10000");
  const std::string lookup = ConsultarNumeroSessao(103, kCode, 101);
  EXPECT_EQ(Field(lookup, 0), "000101") << lookup;
  EXPECT_EQ(Field(lookup, 1), "08000");
  const std::string second = ConsultarStatusOperacional(104, kCode);
  EXPECT_EQ(Field(second, 0), "000104");
}

TEST(OverlappingCalls, ThreeThreadsForAMinuteGetOnlyTheirOwnReplies) {
  TempDir dir;
  // Each reply names the session and the request it answers.
  PtyResponder device(dir.path(), [](std::string_view request) {
    const std::string_view session = request.substr(0, request.find('|'));
    return FrameOf(std::string(session) + "|08000|" + std::string(request) + "||");
  });
  ScopedEnv dev("KOVRAD_DEV_DIR", device.dev_dir());
  AbreSerialSAT(0, 0, 0, 0, 0);

  std::atomic<long> calls{0}, wrong{0};
  const auto end = Clock::now() + std::chrono::seconds(60);
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([t, end, &calls, &wrong] {
      for (int32_t n = 0; Clock::now() < end; ++n) {
        const int32_t session = t * 100000 + n % 100000;
        char expected[32];
        std::snprintf(expected, sizeof expected, "%06d|", session);
        const std::string reply =
            t == 0 ? ConsultarSAT(session) : ConsultarStatusOperacional(session, kCode);
        if (!reply.starts_with(expected)) ++wrong;
        ++calls;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0) << "of " << calls.load() << " calls";
  EXPECT_GT(calls.load(), 300);
  EXPECT_TRUE(PortIsFree(device.dev_dir() + "/ttyACM0"));
}

TEST(BabblingDevice, EndsAtTwiceTheTimeLimit) {
  TempDir dir;
  ScopedEnv dev("KOVRAD_DEV_DIR", dir / "dev");
  FakeDevice device(dir.path());
  AbreSerialSAT(0, 0, 0, 0, 0);
  // Bytes every 60 ms for 20 s, never a whole frame: far past ConsultarSAT's
  // 5 s and its 10 s bound.
  device.OnRequest([](const Request&) {
    Answer babble;
    for (int i = 0; i < 330; ++i) babble.chunks.push_back({Bytes(64, 0xFF), 60});
    return babble;
  });
  const auto start = Clock::now();
  EXPECT_STREQ(ConsultarSAT(42), "000042|9999|Timeout de comunica\xE7\xE3o");
  const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(CodigoErro().code, __TIMEOUT__);
  EXPECT_LT(seconds, 15.0);
}

}  // namespace
}  // namespace kovrad::test
