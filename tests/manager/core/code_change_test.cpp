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

}  // namespace
}  // namespace kovrad::manager::test
