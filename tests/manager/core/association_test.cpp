// Signature association: the input checks and the call against a scripted
// device.
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "core/association.h"
#include "core/checks.h"
#include "manager_support.h"

namespace kovrad::manager::test {
namespace {

constexpr char kTaxpayer[] = "08.723.218/0001-86";
constexpr char kSoftwareHouse[] = "16.716.114/0001-72";

TEST(AssociationCheckTest, TheTaxpayerIsCheckedFirst) {
  EXPECT_EQ(std::get<std::string>(PrepareAssociation({"11.111.111/1111-11", "1", "s"})),
            kMsgTaxpayerInvalid);
  EXPECT_EQ(std::get<std::string>(PrepareAssociation({kTaxpayer, "16.716.114/0001-73", "s"})),
            kMsgSoftwareHouseInvalid);
}

TEST(AssociationCheckTest, TheValueIsTwentyEightDigitsSoftwareHouseFirst) {
  const auto prepared = PrepareAssociation({kTaxpayer, kSoftwareHouse, "SIG"});
  const Association& association = std::get<Association>(prepared);
  EXPECT_EQ(association.cnpjs, "1671611400017208723218000186");
  EXPECT_EQ(association.signature, "SIG");
}

TEST(AssociationCheckTest, LineBreaksAreRemovedFromTheSignature) {
  auto signature = [](const std::string& typed) {
    return std::get<Association>(PrepareAssociation({kTaxpayer, kSoftwareHouse, typed})).signature;
  };
  EXPECT_EQ(signature("abc\r\ndef\r\n\r\nghi"), "abcdefghi");
  EXPECT_EQ(signature("a b\n\rc "), "a bc ");
  EXPECT_EQ(signature("\r\n\r\n\n"), "");
}

TEST(AssociationCheckTest, ASignatureAbove499CharactersIsRefused) {
  EXPECT_TRUE(std::holds_alternative<Association>(
      PrepareAssociation({kTaxpayer, kSoftwareHouse, std::string(499, 's')})));
  EXPECT_EQ(
      std::get<std::string>(PrepareAssociation({kTaxpayer, kSoftwareHouse, std::string(500, 's')})),
      TooLongMessage("Assinatura AC", 499));
}

TEST_F(DeviceCallTest, AssociationSendsTheValueAndReportsTheRecord) {
  bound_.device().AnswerAll("000012|13000|Assinatura do AC Registrada||");
  const std::string message =
      Associate(bound_.library(), "", {"1671611400017208723218000186", "SIG NATURE"});
  EXPECT_EQ(bound_.Requests().at(0),
            "000012|AssociarAssinatura||1671611400017208723218000186|SIG NATURE");
  EXPECT_EQ(message, "Codigo: 13000.\nAssinatura do AC Registrada" + std::string(30, ' '));
}

}  // namespace
}  // namespace kovrad::manager::test
