// Saving a text file whole or not at all.
#include <gtest/gtest.h>

#include <filesystem>
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
  EXPECT_EQ(problem, "Não foi possível gravar o arquivo " + std::string(dir / "missing/f.txt") +
                         ": a pasta ou o arquivo não existe.");
}

TEST(TextFileTest, AFolderIsNotReplacedAndNothingIsLeftBehind) {
  TempDir dir;
  std::filesystem::create_directory(dir / "pasta");
  std::string problem;
  EXPECT_FALSE(WriteTextFile(dir / "pasta", "x", &problem));
  EXPECT_NE(problem.find("o nome é de uma pasta"), std::string::npos);
  ASSERT_TRUE(WriteTextFile(dir / "f.txt", "x", &problem));
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 2u);  // the folder and f.txt, no passing file
}

}  // namespace
}  // namespace kovrad::manager::test
