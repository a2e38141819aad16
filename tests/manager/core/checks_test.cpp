// Staging of typed texts, the CNPJ check and the activation-code rules.
#include <gtest/gtest.h>

#include <string>

#include "core/checks.h"

namespace kovrad::manager::test {
namespace {

TEST(StagingTest, HoldsNinetyNineBytesAndRefusesMore) {
  StagedField field;
  EXPECT_TRUE(field.Stage(std::string(99, 'a')));
  EXPECT_EQ(field.size(), 99u);
  EXPECT_FALSE(field.Stage(std::string(100, 'a')));
  EXPECT_STREQ(field.c_str(), "");
  // Counted in staged bytes: 99 accented letters fit.
  std::string accents;
  for (int i = 0; i < 99; ++i) accents += "é";
  EXPECT_TRUE(field.Stage(accents));
  EXPECT_EQ(field.str(), std::string(99, '\xE9'));
  StagedSignature signature;
  EXPECT_TRUE(signature.Stage(std::string(499, 's')));
  EXPECT_FALSE(signature.Stage(std::string(500, 's')));
}

TEST(StagingTest, CharactersWindows1252CannotCarryAreRefusedByName) {
  StagedField field;
  EXPECT_FALSE(field.Stage("código ✓ 日本 ✓"));
  EXPECT_STREQ(field.c_str(), "");
  EXPECT_EQ(field.refused(), "✓ 日 本");
  EXPECT_EQ(StagingRefusal("Código", field),
            "O campo \"Código\" tem caracteres que o SAT não aceita: ✓ 日 本. Troque-os e tente "
            "de novo.");
  EXPECT_TRUE(field.Stage("ação € œ ?"));
  EXPECT_EQ(field.str(), "a\xE7\xE3o \x80 \x9C ?");
  EXPECT_EQ(StagingRefusal("Código", field), TooLongMessage("Código", 99));
}

TEST(StagingTest, KeepsBlanks) {
  StagedField field;
  ASSERT_TRUE(field.Stage(" ab "));
  EXPECT_STREQ(field.c_str(), " ab ");
}

TEST(CnpjTest, CheckDigits) {
  char digits[15];
  EXPECT_TRUE(ValidaCNPJ("11.111.111/1111-80", digits));
  EXPECT_STREQ(digits, "11111111111180");
  EXPECT_TRUE(ValidaCNPJ("00.000.000/0000-00", digits));
  EXPECT_FALSE(ValidaCNPJ("11.111.111/1111-11", digits));
  EXPECT_STREQ(digits, "11111111111111");  // written before the digits are compared
  EXPECT_TRUE(ValidaCNPJ("11.111 111/1111-8 0", digits));
  EXPECT_TRUE(ValidaCNPJ("a1b1111111111180", digits));
}

TEST(CnpjTest, AnyOtherDigitCountFailsAndLeavesTheBufferAlone) {
  for (const char* text : {"  .   .   /    -  ", "11.111.111/1111- 8", "11.111.111/1111-800"}) {
    char digits[15] = "untouched";
    EXPECT_FALSE(ValidaCNPJ(text, digits)) << text;
    EXPECT_STREQ(digits, "untouched") << text;
  }
}

TEST(CnpjTest, TheInputBufferCanReceiveTheDigits) {
  StagedField field;
  ASSERT_TRUE(field.Stage("11.111.111/1111-80"));
  EXPECT_TRUE(ValidaCNPJ(field.c_str(), field.data()));
  EXPECT_STREQ(field.c_str(), "11111111111180");
}

TEST(CodeRulesTest, ActivationWindow) {
  EXPECT_EQ(CheckActivationCode(7, "1234567", "1234567"),
            "Código de ativação deve conter no mínimo 8 caracteres");
  EXPECT_EQ(CheckActivationCode(8, "12345678", "12345678"), std::nullopt);
  EXPECT_EQ(CheckActivationCode(8, "abcdefgh", "ABCDEFGH"),
            "Código de ativação e de confirmação não são identicos");
  EXPECT_EQ(CheckActivationCode(8, "    1234", "    1234"), std::nullopt);
}

TEST(CodeRulesTest, CodeChangeWindow) {
  EXPECT_EQ(CheckNewCode("1234567", "1234567"),
            "Código de ativação deve ter no minimo 8 caracteres");
  EXPECT_EQ(CheckNewCode("12345678", "12345678"), std::nullopt);
  EXPECT_EQ(CheckNewCode("abcdefgh", "abcdefgH"),
            "Código de ativação não é igual ao confirmação do código de ativação");
  EXPECT_EQ(CheckNewCode("1234567", "different"),
            "Código de ativação deve ter no minimo 8 caracteres");  // first rule first
}

}  // namespace
}  // namespace kovrad::manager::test
