// Saving a text file whole or not at all.
#include <gtest/gtest.h>

#include <string>

#include "core/text_file.h"
#include "manager_support.h"

namespace kovrad::manager::test {
namespace {

using kovrad::test::ReadFile;
using kovrad::test::TempDir;

TEST(TextFileTest, WritesTheWholeFileOrTellsWhy) {
  TempDir dir;
  kovrad::test::WriteFile(dir / "f.txt", "old and longer content");
  std::string problem;
  ASSERT_TRUE(WriteTextFile(dir / "f.txt", "new\r\n", &problem)) << problem;
  EXPECT_EQ(ReadFile(dir / "f.txt"), "new\r\n");
  ASSERT_TRUE(WriteTextFile(dir / "empty.txt", "", &problem));
  EXPECT_EQ(ReadFile(dir / "empty.txt"), "");
  EXPECT_FALSE(WriteTextFile(dir / "missing/f.txt", "x", &problem));
  EXPECT_NE(problem.find(dir / "missing/f.txt"), std::string::npos);
}

}  // namespace
}  // namespace kovrad::manager::test
