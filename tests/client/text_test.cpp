// Windows-1252 and the decoding of replies in either encoding.
#include <gtest/gtest.h>

#include <string>

#include "client/text.h"

namespace kovrad::client::test {
namespace {

TEST(TextTest, Cp1252RoundTripsAccentsAndTheHighRange) {
  EXPECT_EQ(client::ToCp1252("Código ação"),
            "C\xF3"
            "digo a\xE7\xE3o");
  EXPECT_EQ(client::ToCp1252("€ “x” – Œ"), "\x80 \x93x\x94 \x96 \x8C");
  EXPECT_EQ(client::FromCp1252("\x80\x9F\xE9"), "€Ÿé");
  EXPECT_EQ(client::FromCp1252(client::ToCp1252("Informações ‰ ™")), "Informações ‰ ™");
}

TEST(TextTest, WhatCp1252CannotHoldBecomesAQuestionMark) {
  EXPECT_EQ(client::ToCp1252("a✓b"), "a?b");
  EXPECT_EQ(client::ToCp1252("日本"), "??");
  EXPECT_EQ(client::ToCp1252("x\xC3"), "x?");  // a sequence cut short
}

TEST(TextTest, RepliesAreReadAsUtf8WhenValidAndAsCp1252Otherwise) {
  EXPECT_EQ(client::DecodeReply("C\xC3\xB3"
                                "digo"),
            "Código");
  EXPECT_EQ(client::DecodeReply("C\xF3"
                                "digo de ativa\xE7\xE3o inv\xE1lido"),
            "Código de ativação inválido");
  EXPECT_EQ(client::DecodeReply("\xED\xA0\x80"),
            "í\xC2\xA0€");  // an encoded surrogate is not UTF-8
  EXPECT_EQ(client::CharacterCount("ação"), 4u);
}

}  // namespace
}  // namespace kovrad::client::test
