// The activation-code change against a scripted device.
#include <gtest/gtest.h>

#include <string>

#include "core/code_change.h"
#include "core/replies.h"
#include "manager_support.h"

namespace kovrad::manager::test {
namespace {

TEST_F(DeviceCallTest, CodeChangeSendsTheOptionAndReportsTheResult) {
  bound_.device().AnswerAll(
      "000012|18000|C\xF3"
      "digo de ativa\xE7\xE3o alterado||");
  const auto messages = ChangeCode(bound_.library(), {"old-code", 2, "new-code", "new-code"});
  EXPECT_EQ(bound_.Requests().at(0),
            "000012|TrocarCodigoDeAtivacaoSAT|old-code|2|new-code|new-code");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Codigo: 18000.\nCódigo de ativação alterado" + std::string(30, ' '));
}

TEST_F(DeviceCallTest, CodeChangePutsTheOldPortLineFirst) {
  // The library never answers with this exact text; a device can.
  bound_.device().AnswerAll("Erro ao tentar abrir a porta de comunicacao");
  const auto messages = ChangeCode(bound_.library(), {"a", 1, "b", "b"});
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], kMsgPortFailure);
}

}  // namespace
}  // namespace kovrad::manager::test
