// The serial link on a real pseudo-terminal pair: opening through the device
// directory, exclusive use, read time-outs, closing and the link error record.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "error.h"
#include "fake_device.h"
#include "kovrad.h"
#include "link_support.h"
#include "module.h"
#include "serial_link.h"
#include "sysfs_tree.h"

namespace kovrad::test {
namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class SerialLink : public ::testing::Test {
 protected:
  SerialLink()
      : dev_env_("KOVRAD_DEV_DIR", dir_ / "dev"),
        sys_env_("KOVRAD_SYSFS_DIR", dir_ / "sys"),
        device_(dir_.path()),
        log_(dir_ / "kovrad.log") {
    ResetLink();
    std::filesystem::create_directories(dir_ / "sys/class/tty");
    ArquivoLog(log_.c_str());
  }
  ~SerialLink() override { ResetLink(); }

  // Selects and opens ttyACM0 through the library.
  platform::PortHandle Open() {
    EXPECT_EQ(AbreSerialSAT(0, 0, 0, 0, 0), 0);
    EXPECT_TRUE(AbrePorta());
    return State().port;
  }

  // Has the device send `bytes` (it answers the empty request frame the test
  // writes) and waits, bounded, until all of them can be read on `port`.
  void DeviceSends(platform::PortHandle port, const std::string& bytes) {
    const size_t seen = device_.requests().size();
    device_.OnRequest([bytes](const Request&) {
      Answer answer;
      answer.chunks.push_back({Bytes(bytes.begin(), bytes.end()), 0});
      return answer;
    });
    const uint8_t empty_request[9] = {};
    ASSERT_TRUE(platform::Write(port, empty_request, sizeof empty_request));
    ASSERT_TRUE(device_.WaitForRequests(seen + 1));
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int waiting = 0;
    while (ioctl(static_cast<int>(port), FIONREAD, &waiting) == 0 &&
           static_cast<size_t>(waiting) < bytes.size() && Clock::now() < deadline) {
      poll(nullptr, 0, 1);
    }
    ASSERT_EQ(static_cast<size_t>(waiting), bytes.size());
  }

  TempDir dir_;
  ScopedEnv dev_env_;
  ScopedEnv sys_env_;
  FakeDevice device_;
  std::string log_;
};

TEST_F(SerialLink, OpensTheSelectedPortThroughTheDeviceDirectory) {
  DefineErro(__TIMEOUT__, "anterior");
  Open();
  const std::string path = dir_ / "dev/ttyACM0";
  EXPECT_TRUE(State().port_open);
  EXPECT_EQ(State().device_path, path);
  const COMM_ERROR e = CodigoErro();
  EXPECT_EQ(e.code, __NOERROR__);
  EXPECT_STREQ(e.msg, "");
  auto texts = LogTexts(log_);
  ASSERT_GE(texts.size(), 3u);
  texts.resize(3);
  EXPECT_EQ(texts, (std::vector<std::string>{"abrindo porta: ", path, "\r\n"}));

  // Open already: neither reopened nor logged again, the record cleared.
  const size_t entries = LogTexts(log_).size();
  const platform::PortHandle port = State().port;
  DefineErro(__TIMEOUT__, "anterior");
  EXPECT_TRUE(AbrePorta());
  EXPECT_EQ(State().port, port);
  EXPECT_EQ(LogTexts(log_).size(), entries);
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
}

TEST_F(SerialLink, CloseSerialClosesOnceAndIsHarmlessAfter) {
  Open();
  EXPECT_NE(CloseSerial(), 0);
  EXPECT_FALSE(State().port_open);
  EXPECT_EQ(State().port, platform::kNoPort);
  EXPECT_EQ(CloseSerial(), 0);
  EXPECT_STREQ(State().port_name, "ttyACM0");
  // Closed for real: another opener may have it now.
  const platform::PortHandle other = platform::OpenPort((dir_ / "dev/ttyACM0").c_str());
  EXPECT_NE(other, platform::kNoPort);
  platform::ClosePort(other);
}

TEST_F(SerialLink, APortHeldByAnotherOpenerIsRefused) {
  const std::string path = dir_ / "dev/ttyACM0";
  const platform::PortHandle held = platform::OpenPort(path.c_str());
  ASSERT_NE(held, platform::kNoPort);
  EXPECT_EQ(platform::OpenPort(path.c_str()), platform::kNoPort);

  AbreSerialSAT(0, 0, 0, 0, 0);
  {
    ScopedEnv debug("KOVRAD_DEBUG", "1");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(AbrePorta());
    // The system's reason follows the library's own line, in the log and
    // on the debug trace.
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), path + ": held by another program\n");
  }
  EXPECT_EQ(LogTexts(log_).back(), path + ": held by another program\r\n");
  EXPECT_FALSE(State().port_open);
  const COMM_ERROR e = CodigoErro();
  EXPECT_EQ(e.code, __NOCONNECT__);
  EXPECT_STREQ(e.msg, "Erro ao tentar abrir a porta de comunicacao!!");

  EXPECT_NE(platform::ClosePort(held), 0);
  EXPECT_TRUE(AbrePorta());
}

TEST_F(SerialLink, NothingSelectedAndNothingFound) {
  DefineErro(__NOERROR__, "");
  EXPECT_FALSE(AbrePorta());
  EXPECT_FALSE(State().port_open);
  const COMM_ERROR e = CodigoErro();
  EXPECT_EQ(e.code, __NOCONNECT__);
  EXPECT_STREQ(e.msg, "Erro ao tentar abrir a porta de comunicacao!!");
  EXPECT_FALSE(std::filesystem::exists(log_));
}

TEST_F(SerialLink, AnAbsentPortIsTriedAndReported) {
  EXPECT_EQ(AbreSerialSAT(7, 0, 0, 0, 0), 0);
  EXPECT_FALSE(AbrePorta());
  EXPECT_EQ(CodigoErro().code, __NOCONNECT__);
  EXPECT_EQ(LogTexts(log_),
            (std::vector<std::string>{"abrindo porta: ", dir_ / "dev/ttyACM7", "\r\n",
                                      dir_ / "dev/ttyACM7: No such file or directory\r\n"}));
}

TEST_F(SerialLink, TheDeviceDirectoryMayBeAsLongAsThePlatformAllows) {
  std::string deep = dir_.path();
  while (deep.size() < 1000) deep += "/a-rather-long-directory-name";
  std::filesystem::create_directories(deep);
  std::filesystem::create_symlink(device_.port_path(), deep + "/ttyACM0");
  ScopedEnv dev("KOVRAD_DEV_DIR", deep);
  Open();
  EXPECT_TRUE(State().port_open);
  EXPECT_EQ(std::string(State().device_path), deep + "/ttyACM0");
}

TEST_F(SerialLink, AbreSerialSatRefusesNamesBeyondNineCharacters) {
  EXPECT_EQ(AbreSerialSAT(999, 1, 2, 3, 4), 0);
  EXPECT_STREQ(State().port_name, "ttyACM999");
  EXPECT_EQ(AbreSerialSAT(1000, 0, 0, 0, 0), -1);
  EXPECT_EQ(AbreSerialSAT(-2147483647 - 1, 0, 0, 0, 0), -1);
  EXPECT_FALSE(State().port_open);
}

TEST_F(SerialLink, AbreSerialSatRefusesNegativeNumbers) {
  ASSERT_EQ(AbreSerialSAT(0, 0, 0, 0, 0), 0);
  EXPECT_EQ(AbreSerialSAT(-1, 0, 0, 0, 0), -1);
  EXPECT_EQ(CodigoErro().code, __NOCONNECT__);
  EXPECT_STREQ(State().port_name, "");
  EXPECT_FALSE(AbrePorta());
  EXPECT_EQ(CodigoErro().code, __NOCONNECT__);
}

TEST_F(SerialLink, ARefusedNameLeavesNoPortChosenUntilAValidOne) {
  // A SAT device on USB too: a refusal must not fall back to finding it.
  MakeUsbTty(dir_ / "sys", "ttyACM0", "0525", "a4a7", "900000001", "2499");
  ASSERT_EQ(AbreSerialSAT(0, 0, 0, 0, 0), 0);
  ASSERT_TRUE(AbrePorta());
  FechaPorta();

  EXPECT_EQ(AbreSerialSAT(1000, 0, 0, 0, 0), -1);
  EXPECT_STREQ(State().port_name, "");
  for (int call = 0; call < 2; ++call) {
    EXPECT_FALSE(AbrePorta());
    EXPECT_EQ(CodigoErro().code, __NOCONNECT__);
  }
  EXPECT_EQ(AbreSerialSAT(0, 0, 0, 0, 0), 0);
  EXPECT_TRUE(AbrePorta());
}

TEST_F(SerialLink, ReadWithNothingToReadGivesUpAfterAboutATenthOfASecond) {
  const platform::PortHandle port = Open();
  static uint8_t buffer[kReadChunk];
  const auto start = Clock::now();
  EXPECT_EQ(platform::Read(port, buffer, kReadChunk), 0u);
  const long long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 90);
  EXPECT_LT(elapsed, 1000);
}

TEST_F(SerialLink, ReadReturnsAsSoonAsTheCountItAskedForIsIn) {
  const platform::PortHandle port = Open();
  // Each read asks for exactly what is waiting. Had it waited for the line to
  // fall silent, it would take 50 ms; the quickest of three keeps a busy
  // machine from failing the test.
  char buffer[16] = {};
  long long quickest = 1000;
  for (const std::string bytes : {"0123", "456789", "x"}) {
    DeviceSends(port, bytes);
    const auto start = Clock::now();
    const size_t n = platform::Read(port, buffer, bytes.size());
    quickest = std::min(quickest, MillisecondsSince(start));
    EXPECT_EQ(std::string(buffer, n), bytes);
  }
  EXPECT_LT(quickest, 40);
}

TEST_F(SerialLink, ReadHandsOverWhatArrivedWhenLessCame) {
  const platform::PortHandle port = Open();
  DeviceSends(port, "abc");
  char buffer[100] = {};
  const auto start = Clock::now();
  EXPECT_EQ(platform::Read(port, buffer, sizeof buffer), 3u);
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_STREQ(buffer, "abc");
}

TEST_F(SerialLink, PurgeDropsWaitingInputAndWritesReachTheDevice) {
  const platform::PortHandle port = Open();
  DeviceSends(port, "velho");
  const std::vector<Request> requests = device_.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].frame, Bytes(9, 0));

  EXPECT_TRUE(platform::PurgeInput(port));
  char buffer[16];
  EXPECT_EQ(platform::ReadWaiting(port, buffer, sizeof buffer), 0u);
}

}  // namespace
}  // namespace kovrad::test
