// Reply lines: their fields, the one rule that says which session a line
// answers, and the failure line written in a device's place.
#include <gtest/gtest.h>

#include "client/reply_line.h"

namespace kovrad::client {
namespace {

TEST(ReplyLine, FieldsAreSplitKeepingEmptyOnes) {
  EXPECT_EQ(SplitFields("a|b||"), (std::vector<std::string>{"a", "b", "", ""}));
  EXPECT_TRUE(SplitFields("Erro ao tentar abrir a porta").empty());
  EXPECT_EQ(ReplyField("000012|06000|0000|ok", 2), "06000");
  EXPECT_EQ(ResultCodeOf("000012|06000|0000|ok"), "06000");
  EXPECT_EQ(ReplyField("000012|06000", 5), "");
}

TEST(ReplyLine, TheSessionIsMatchedAsANumber) {
  EXPECT_TRUE(SameSession("000012|08000|ok||", 12));
  EXPECT_TRUE(SameSession("12|08000|ok||", 12));
  EXPECT_TRUE(SameSession("999999|08000", 999999));
  EXPECT_FALSE(SameSession("000013|08000|ok||", 12));
  EXPECT_FALSE(SameSession("00001x|08000", 1));
  EXPECT_FALSE(SameSession("|08000", 0));
  EXPECT_FALSE(SameSession(" 12|08000", 12));
  // A text without fields answers no session, whatever it starts with.
  EXPECT_FALSE(SameSession("000012", 12));
  EXPECT_FALSE(SameSession("Erro ao tentar abrir a porta", 0));
}

TEST(ReplyLine, FailureLinesHaveTheLibrarysShape) {
  EXPECT_EQ(FailureLine(12, "Sem resposta"), "000012|9999|Sem resposta");
  EXPECT_EQ(FailureLine(999999, ""), "999999|9999|");
  const std::string line = FailureLine(345, "x");
  EXPECT_TRUE(SameSession(line, 345));
  EXPECT_EQ(ResultCodeOf(line), "9999");
}

}  // namespace
}  // namespace kovrad::client
