// Log entries: time stamp, appending, files that come and go, the banner.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "fake_device.h"
#include "kovrad.h"
#include "link_support.h"
#include "log.h"

namespace kovrad::test {
namespace {

constexpr char kBanner[] = "TORVA DLL SAT Vers\xE3o: 02.00.10.07 gerada em 04/09/2017\n";

class LogEntries : public ::testing::Test {
 protected:
  LogEntries() : log_(dir_ / "kovrad.log") {
    ResetLink();
    ArquivoLog(log_.c_str());
  }
  ~LogEntries() override { ResetLink(); }

  TempDir dir_;
  std::string log_;
};

TEST_F(LogEntries, StampIsTheLocalClockAndTheTextFollowsUnchanged) {
  const std::time_t before = std::time(nullptr);
  GravaLog("req -> 000001|ConsultarSAT\r\n");
  const std::time_t after = std::time(nullptr);

  const std::string content = ReadFile(log_);
  ASSERT_EQ(content.size(), 1 + 24 + 28u);
  const auto entries = ParseLog(content);
  ASSERT_EQ(entries.size(), 1u);
  const LogEntry& e = entries[0];
  EXPECT_EQ(e.text, "req -> 000001|ConsultarSAT\r\n");
  std::tm stamp{};
  stamp.tm_mday = e.day;
  stamp.tm_mon = e.month - 1;
  stamp.tm_year = e.year - 1900;
  stamp.tm_hour = e.hour;
  stamp.tm_min = e.minute;
  stamp.tm_sec = e.second;
  stamp.tm_isdst = -1;
  const std::time_t logged = std::mktime(&stamp);
  EXPECT_GE(logged, before - 2);
  EXPECT_LE(logged, after + 2);
  EXPECT_LE(e.millisecond, 999);
}

TEST_F(LogEntries, MillisecondsBelow100AreLeftAligned) {
  // Log until an entry falls in the first tenth of a second (bounded by two
  // seconds), then check its stamp column by column.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  std::string stamp;
  while (std::chrono::steady_clock::now() < give_up) {
    std::filesystem::remove(log_);
    GravaLog("x");
    const std::string content = ReadFile(log_);
    ASSERT_EQ(content.size(), 26u);
    const std::string ms = content.substr(21, 4);
    if (std::stoi(ms) < 100) {
      stamp = ms;
      break;
    }
    poll(nullptr, 0, 5);
  }
  ASSERT_FALSE(stamp.empty());
  char expected[8];
  std::snprintf(expected, sizeof expected, "%-3d ", std::stoi(stamp));
  EXPECT_EQ(stamp, expected);
}

TEST_F(LogEntries, EntriesAppendAndADeletedFileIsCreatedAgain) {
  WriteFile(log_, "antes");
  GravaLog("um");
  GravaLog("dois\nlinhas");
  EXPECT_EQ(ReadFile(log_).substr(0, 6), "antes\n");
  EXPECT_EQ(LogTexts(log_), (std::vector<std::string>{"um", "dois\nlinhas"}));

  std::filesystem::remove(log_);
  GravaLog("tres");
  EXPECT_EQ(LogTexts(log_), std::vector<std::string>{"tres"});
}

TEST_F(LogEntries, FileInAMissingDirectoryFailsSilently) {
  const std::string lost = dir_ / "nao-existe/kovrad.log";
  ArquivoLog(lost.c_str());
  GravaLog("perdido");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "nao-existe"));
  ArquivoLog(log_.c_str());
  GravaLog("achado");
  EXPECT_EQ(LogTexts(log_), std::vector<std::string>{"achado"});
}

TEST(VersaoLib, IsTheConstantBanner) {
  const char* banner = VersaoLib();
  EXPECT_STREQ(banner, kBanner);
  EXPECT_EQ(VersaoLib(), banner);
}

// The load step logs the banner: run this program again as a fresh process
// in a directory whose "sat.ini" switches the log on, listing tests only so
// that nothing but loading happens.
TEST(LoadStep, LogsTheBannerOnce) {
  TempDir dir;
  WriteFile(dir / "sat.ini", "GeraArqLog=1\nNomeArqLog=carga.log\n");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (chdir(dir.path().c_str()) != 0 || std::freopen("/dev/null", "w", stdout) == nullptr) {
      _exit(126);
    }
    execl("/proc/self/exe", "link_test", "--gtest_list_tests", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(LogTexts(dir / "carga.log"), std::vector<std::string>{kBanner});
}

}  // namespace
}  // namespace kovrad::test
