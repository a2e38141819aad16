// GetPortaSAT, SetPortaSAT and GetMapaPortasSAT on sysfs-shaped trees, with
// scripted devices on pseudo-terminals answering the status query.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery.h"
#include "fake_device.h"
#include "kovrad.h"
#include "sysfs_tree.h"

namespace kovrad::test {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr char kCode[] = "12345678";

std::string StatusReply(const std::string& serial, const char* result = "10000") {
  return std::string("000012|") + result + "|Resposta com Sucesso|0000||" + serial +
         "|DHCP|192.168.0.10|00:11:22:33:44:55|";
}

// The text of the log entry that contains `needle`, or empty.
std::string EntryWith(const std::string& log, const std::string& needle) {
  const size_t at = log.find(needle);
  if (at == std::string::npos) return {};
  const size_t start = log.rfind('\n', at) + 1;
  return log.substr(start, log.find('\n', at) - start);
}

std::string Pid() {
  return std::to_string(getpid());
}

class PortSelectionTest : public ::testing::Test {
 protected:
  PortSelectionTest()
      : sys_(dir_ / "sys"),
        sysfs_env_("KOVRAD_SYSFS_DIR", sys_),
        dev_env_("KOVRAD_DEV_DIR", dir_ / "dev"),
        log_(dir_ / "kovrad.log") {
    ArquivoLog(log_.c_str());
  }
  ~PortSelectionTest() override { ArquivoLog(""); }

  // A SAT device on USB as ttyACM<number>, answering the status query with
  // `status`.
  FakeDevice& Sat(int number, const std::string& status) {
    const std::string tty = "ttyACM" + std::to_string(number);
    MakeUsbTty(sys_, tty, "0525", "a4a7", "USB" + std::to_string(number), "2499");
    devices_.push_back(std::make_unique<FakeDevice>(dir_.path(), number));
    devices_.back()->AnswerAll(status);
    return *devices_.back();
  }

  std::string Log() { return ReadFile(log_); }

  TempDir dir_;
  std::string sys_;
  ScopedEnv sysfs_env_;
  ScopedEnv dev_env_;
  std::string log_;
  std::vector<std::unique_ptr<FakeDevice>> devices_;
};

TEST_F(PortSelectionTest, NoDeviceGivesNullAndAnEmptyMap) {
  // Ports cannot be listed at all: no sysfs tree.
  EXPECT_EQ(GetPortaSAT("900001111", 12, kCode), nullptr);
  EXPECT_EQ(GetMapaPortasSAT(kCode), nullptr);

  MakePlainTty(sys_, "ttyS0");
  MakeUsbTty(sys_, "ttyACM0", "2341", "0043", "ARDUINO", "0001");
  EXPECT_EQ(GetPortaSAT("900001111", 12, kCode), nullptr);
  const char* map = GetMapaPortasSAT(kCode);
  ASSERT_NE(map, nullptr);
  EXPECT_STREQ(map, "");
  EXPECT_NE(Log().find("Exiting GetPortaSAT @ " + Pid() + "\r\n"), std::string::npos);
}

TEST_F(PortSelectionTest, TwoDevicesTheFirstIsChosenAndBothAreMapped) {
  FakeDevice& first = Sat(0, StatusReply("900001111"));
  FakeDevice& second = Sat(1, StatusReply("900002222"));

  CaptureStdout();
  const char* port = GetPortaSAT("900001111", 12, kCode);
  EXPECT_EQ(GetCapturedStdout(), "Port: ttyACM0   Serial number: \n");
  ASSERT_NE(port, nullptr);
  EXPECT_STREQ(port, "ttyACM0");
  ASSERT_TRUE(first.WaitForRequests(1));
  EXPECT_EQ(first.requests().at(0).text(), "000012|ConsultarStatusOperacional|12345678");
  const std::string log = Log();
  for (const std::string& line :
       {"Entered GetPortaSAT(900001111) @ " + Pid() + "\r\n",
        std::string("Port found: ttyACM0\r\n"), std::string("Openned port ttyACM0\r\n"),
        StatusReply("900001111"), "Exiting GetPortaSAT(900001111) @ " + Pid() + "\r\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(log.find("difere"), std::string::npos);
  EXPECT_TRUE(second.requests().empty());
  // No expected serial number at all is a mismatch like any other.
  EXPECT_STREQ(GetPortaSAT(nullptr, 12, kCode), "ttyACM0");

  CaptureStdout();
  const char* map = GetMapaPortasSAT(kCode);
  EXPECT_EQ(GetCapturedStdout(),
            "Port: ttyACM0   Serial number: \nPort: ttyACM1   Serial number: \n");
  ASSERT_NE(map, nullptr);
  EXPECT_STREQ(map, "900001111:ttyACM0;900002222:ttyACM1;");
  ASSERT_TRUE(second.WaitForRequests(1));
  EXPECT_NE(Log().find("Entered GetMapaPortasSAT @ " + Pid() + "\r\n"), std::string::npos);
}

TEST_F(PortSelectionTest, SetPortaSatIsTheSameOperationUnderItsOwnName) {
  Sat(2, StatusReply("900003333"));
  const char* port = SetPortaSAT("OUTRO", 12, kCode);
  ASSERT_NE(port, nullptr);
  EXPECT_STREQ(port, "ttyACM2");
  const std::string log = Log();
  EXPECT_NE(log.find("Entered SetPortaSAT(OUTRO) @ " + Pid() + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("Exiting SetPortaSAT(OUTRO) @ " + Pid() + "\r\n"), std::string::npos);
  // A serial number other than the expected one is logged; the port stays.
  const std::string mismatch = EntryWith(log, "difere");
  EXPECT_NE(mismatch.find("900003333"), std::string::npos) << mismatch;
  EXPECT_NE(mismatch.find("OUTRO"), std::string::npos) << mismatch;
}

TEST_F(PortSelectionTest, DeviceHeldByAnotherProgramIsStillNamed) {
  FakeDevice& held = Sat(0, StatusReply("900001111"));
  const int other = open(held.port_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);

  const char* port = GetPortaSAT("900001111", 12, kCode);
  ASSERT_NE(port, nullptr);
  EXPECT_STREQ(port, "ttyACM0");
  const std::string log = Log();
  EXPECT_NE(log.find("Could not open port ttyACM0\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Openned port"), std::string::npos);
  EXPECT_STREQ(GetMapaPortasSAT(kCode), "");
  close(other);
}

TEST_F(PortSelectionTest, StatusRepliesWithoutASerialNumberAddNothingToTheMap) {
  Sat(0, StatusReply("900001111", "10001"));
  Sat(1, "000012|10000|Resposta com Sucesso|0000||900002222");
  Sat(2, StatusReply("900003333"));
  EXPECT_STREQ(GetMapaPortasSAT(kCode), "900003333:ttyACM2;");
}

TEST_F(PortSelectionTest, EntriesThatWouldNotFitTheMapAreLeftOut) {
  const std::string long_serial(600, '7');
  Sat(0, StatusReply(long_serial));
  Sat(1, StatusReply(long_serial));
  Sat(2, StatusReply("900003333"));
  EXPECT_EQ(std::string(GetMapaPortasSAT(kCode)), long_serial + ":ttyACM0;900003333:ttyACM2;");
}

TEST_F(PortSelectionTest, SatFunctionAfterGetPortaSatUsesThatPort) {
  FakeDevice elsewhere(dir_.path(), 0);
  elsewhere.AnswerAll("000013|08000|SAT em opera\xE7\xE3o||");
  AbreSerialSAT(0, 0, 0, 0, 0);
  FakeDevice& found = Sat(3, StatusReply("900001111"));

  ASSERT_NE(GetPortaSAT("900001111", 12, kCode), nullptr);
  found.AnswerAll("000013|08000|SAT em opera\xE7\xE3o||");
  EXPECT_STREQ(ConsultarSAT(13), "000013|08000|SAT em opera\xE7\xE3o||");
  ASSERT_TRUE(found.WaitForRequests(2));
  EXPECT_EQ(found.requests().at(1).text(), "000013|ConsultarSAT");
  EXPECT_TRUE(elsewhere.requests().empty());
}

TEST_F(PortSelectionTest, TraceLinesWithALongSerialNumberAreCut) {
  Sat(0, StatusReply("900001111"));
  const std::string expected(300, 'S');
  ASSERT_NE(GetPortaSAT(expected.c_str(), 12, kCode), nullptr);
  const std::string log = Log();
  for (const char* head : {"Entered GetPortaSAT(", "Exiting GetPortaSAT("}) {
    const std::string entry = EntryWith(log, head);
    EXPECT_EQ(entry.substr(entry.find(head)), (head + expected).substr(0, 127));
  }
}

// Runs the three exports three times each on three threads at once; false
// when they have not all finished within a generous bound.
bool CallAllAtOnce() {
  struct Progress {
    std::mutex mutex;
    std::condition_variable done;
    int finished = 0;
  };
  // Shared with the threads, which outlive this call if one of them hangs.
  auto progress = std::make_shared<Progress>();
  const std::vector<std::function<void()>> calls = {
      [] { GetPortaSAT("900001111", 12, kCode); },
      [] { SetPortaSAT("900001111", 12, kCode); },
      [] { GetMapaPortasSAT(kCode); },
  };
  for (const auto& call : calls) {
    std::thread([progress, call] {
      for (int i = 0; i < 3; ++i) call();
      std::lock_guard lock(progress->mutex);
      ++progress->finished;
      progress->done.notify_all();
    }).detach();
  }
  std::unique_lock lock(progress->mutex);
  return progress->done.wait_for(lock, std::chrono::seconds(60),
                                 [&] { return progress->finished == 3; });
}

// Every exit of the three exports releases the discovery lock.
TEST_F(PortSelectionTest, ThreadsCallingAtOnceAllFinish) {
  ASSERT_TRUE(CallAllAtOnce()) << "ports that cannot be listed";
  MakePlainTty(sys_, "ttyS0");
  ASSERT_TRUE(CallAllAtOnce()) << "no SAT device";
  Sat(0, StatusReply("900001111"));
  FakeDevice& second = Sat(1, StatusReply("900002222"));
  const int held = open(second.port_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  ASSERT_TRUE(CallAllAtOnce()) << "one device answering, one held by another program";
  close(held);
}

TEST(ExtraiNumeroSerieTest, SixthFieldOfAStatusReplyWhoseCodeIsAMultipleOfAThousand) {
  std::string reply = StatusReply("900001111");
  const char* serial = ExtraiNumeroSerie(reply.data());
  ASSERT_NE(serial, nullptr);
  EXPECT_STREQ(serial, "900001111");

  reply = StatusReply("900001111", "10001");
  EXPECT_EQ(ExtraiNumeroSerie(reply.data()), nullptr);

  // The sixth field counts only when a "|" ends it.
  reply = "000012|10000|Resposta com Sucesso|0000||900001111";
  EXPECT_EQ(ExtraiNumeroSerie(reply.data()), nullptr);
  reply = "000012|10000|";
  EXPECT_EQ(ExtraiNumeroSerie(reply.data()), nullptr);
  reply = "Erro ao tentar abrir a porta";
  EXPECT_EQ(ExtraiNumeroSerie(reply.data()), nullptr);
}

}  // namespace
}  // namespace kovrad::test
