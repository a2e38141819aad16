// Activation: the input checks, the certificate request and the call against
// a scripted device.
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "core/activation.h"
#include "core/checks.h"
#include "core/replies.h"
#include "manager_support.h"

namespace kovrad::manager::test {
namespace {

constexpr char kTaxpayer[] = "08.723.218/0001-86";

TEST(ActivationCheckTest, AWrongCheckDigitStopsBeforeTheCodes) {
  const auto prepared = PrepareActivation({"08.723.218/0001-87", "1", "2"});
  EXPECT_EQ(std::get<std::string>(prepared), kMsgCnpjInvalid);
  EXPECT_EQ(std::get<std::string>(PrepareActivation({"  .   .   /    -  ", "", ""})),
            kMsgCnpjInvalid);
}

TEST(ActivationCheckTest, TheCodeRulesInOrder) {
  EXPECT_EQ(std::get<std::string>(PrepareActivation({kTaxpayer, "1234567", "1234567"})),
            "Código de ativação deve conter no mínimo 8 caracteres");
  EXPECT_EQ(std::get<std::string>(PrepareActivation({kTaxpayer, "abcdefgh", "abcdefgH"})),
            "Código de ativação e de confirmação não são identicos");
  // Counted as typed: seven accented letters are seven characters.
  EXPECT_EQ(std::get<std::string>(PrepareActivation({kTaxpayer, "ççççççç", "ççççççç"})),
            "Código de ativação deve conter no mínimo 8 caracteres");
  const auto too_long = PrepareActivation({kTaxpayer, std::string(100, 'c'), "c"});
  EXPECT_NE(std::get<std::string>(too_long).find("99"), std::string::npos);
}

TEST(ActivationCheckTest, SendsTheBareDigitsAndTheStagedCode) {
  const auto prepared = PrepareActivation({kTaxpayer, "ação1234", "ação1234", 1});
  const Activation& activation = std::get<Activation>(prepared);
  EXPECT_EQ(activation.cnpj, "08723218000186");
  EXPECT_EQ(activation.code, "a\xE7\xE3o1234");
  EXPECT_EQ(activation.kind, kCertificateAcSat);
}

TEST(ActivationCheckTest, TheRequestStartsAtItsDashes) {
  EXPECT_EQ(CertificateRequest("000012|04006|ok|||-----BEGIN CERTIFICATE REQUEST-----\nMII"),
            "-----BEGIN CERTIFICATE REQUEST-----\nMII");
  EXPECT_EQ(CertificateRequest("a|BEGIN x|BEGIN y"), "BEGIN x|BEGIN y");
  EXPECT_EQ(CertificateRequest("000012|04000|SAT Ativado com Sucesso||"), "");
}

TEST_F(DeviceCallTest, ActivationSendsStateThirtyFiveAndReadsTheAnswer) {
  bound_.device().AnswerAll("000012|04000|SAT Ativado com Sucesso||");
  ActivationOutcome outcome = Activate(bound_.library(), {1, "abcdefgh", "08723218000186"});
  EXPECT_EQ(bound_.Requests().at(0), "000012|AtivarSAT|1|abcdefgh|08723218000186|35");
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.message, kMsgActivated);
  EXPECT_FALSE(outcome.in_message_window);
  EXPECT_EQ(outcome.request, "");

  bound_.device().AnswerAll("000012|04003|SAT ja ativado||");
  outcome = Activate(bound_.library(), {1, "abcdefgh", "08723218000186"});
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_TRUE(outcome.in_message_window);
  EXPECT_EQ(outcome.message, "Codigo: 04003.\nSAT ja ativado" + std::string(30, ' '));
}

TEST_F(DeviceCallTest, ActivationHandsBackACertificateRequest) {
  bound_.device().AnswerAll(
      "000012|04006|CSR ICP-BRASIL criado com sucesso|||-----BEGIN CERTIFICATE REQUEST-----");
  const ActivationOutcome outcome = Activate(bound_.library(), {1, "abcdefgh", "1"});
  EXPECT_FALSE(outcome.succeeded);  // "sucesso" in lower case is not "Sucesso"
  EXPECT_TRUE(outcome.in_message_window);
  EXPECT_EQ(outcome.request, "-----BEGIN CERTIFICATE REQUEST-----");
}

}  // namespace
}  // namespace kovrad::manager::test
