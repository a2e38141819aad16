// The store of recent session numbers, as separate runs use it: each run a
// store object of its own over the same file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "client/session_store.h"
#include "fake_device.h"

namespace kovrad::client {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(SessionStore, NoRunRepeatsOneOfTheLastHundredAndTheFileIsPrivate) {
  const TempDir dir;
  const std::string path = dir.path() + "/state/kovrad/sessoes";
  std::set<int32_t> drawn;
  for (size_t run = 0; run < kRecentSessions; ++run) {
    int32_t session = 0;
    std::string problem;
    ASSERT_TRUE(SessionStore(path).Draw(&session, &problem)) << problem;
    EXPECT_GE(session, 1);
    EXPECT_LE(session, kMaxSession);
    EXPECT_TRUE(drawn.insert(session).second) << session << " drawn twice";
  }
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(fs::path(path).parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // A number the caller chose counts as used; a torn or foreign line is skipped.
  std::string problem;
  ASSERT_TRUE(SessionStore(path).Record(424242, &problem)) << problem;
  {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "12x\n-5\n99", 9), 9);
    close(fd);
  }
  int32_t session = 0;
  ASSERT_TRUE(SessionStore(path).Draw(&session, &problem)) << problem;
  EXPECT_NE(session, 424242);
}

TEST(SessionStore, ABareFileNameIsInTheWorkingDirectoryAndAnUnusableOneStillDraws) {
  const TempDir dir;
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  int32_t session = 0;
  std::string problem;
  EXPECT_TRUE(SessionStore("sessoes").Draw(&session, &problem)) << problem;
  EXPECT_TRUE(fs::exists(fs::path(dir.path()) / "sessoes"));
  fs::current_path(before);

  // Under a regular file no directory can be made: a number still comes, with the reason.
  const std::string blocked = dir.path() + "/sessoes/sub/list";
  session = 0;
  EXPECT_FALSE(SessionStore(blocked).Draw(&session, &problem));
  EXPECT_GE(session, 1);
  EXPECT_FALSE(problem.empty());
}

}  // namespace
}  // namespace kovrad::client
