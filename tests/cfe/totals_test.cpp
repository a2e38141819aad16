// What the coupon will hold, computed before sending, and the defaults a
// till would otherwise compute by hand.
#include <gtest/gtest.h>

#include "cfe/decimal.h"
#include "cfe/defaults.h"
#include "cfe/json_reader.h"
#include "cfe/totals.h"
#include "sales.h"

namespace kovrad::cfe::test {
namespace {

TEST(Decimal, ParsesAndFormatsAtTheFieldsScale) {
  int64_t units = 0;
  EXPECT_EQ(ParseDecimal("24.9", 9, kUnitPrice, &units), DecimalError::kNone);
  EXPECT_EQ(units, 24900);
  EXPECT_EQ(ParseDecimal("0001.2500", 11, kMoney, &units), DecimalError::kNone);
  EXPECT_EQ(units, 125);
  EXPECT_EQ(ParseDecimal("1.255", 11, kMoney, &units), DecimalError::kTooManyDecimals);
  EXPECT_EQ(ParseDecimal("1000", 3, kMoney, &units), DecimalError::kTooManyDigits);
  for (const char* bad : {"", ".5", "5.", "-1", "1e3", " 1", "1,5", "1.2.3"}) {
    EXPECT_EQ(ParseDecimal(bad, 9, kMoney, &units), DecimalError::kFormat) << bad;
  }
  EXPECT_EQ(FormatDecimal(5, kMoney), "0.05");
  EXPECT_EQ(FormatDecimal(165, kFraction), "0.0165");
}

TEST(Decimal, RoundsHalfToEvenAndApportionsEveryCent) {
  EXPECT_EQ(MultiplyRounded(125, 1, 10, Rounding::kAbnt), 12);  // 12.5 -> 12
  EXPECT_EQ(MultiplyRounded(135, 1, 10, Rounding::kAbnt), 14);  // 13.5 -> 14
  EXPECT_EQ(MultiplyRounded(1251, 1, 100, Rounding::kAbnt), 13);
  EXPECT_EQ(MultiplyRounded(139, 1, 10, Rounding::kTruncate), 13);
  EXPECT_EQ(MultiplyRounded(INT64_MAX, 10, 1, Rounding::kAbnt), std::nullopt);
  // 100 cents over three equal items: 34, 33, 33 (the earlier first).
  EXPECT_EQ(Apportion(100, {1, 1, 1}), (std::vector<int64_t>{34, 33, 33}));
  EXPECT_EQ(Apportion(10, {300, 100}), (std::vector<int64_t>{8, 2}));
  EXPECT_EQ(Apportion(5, {0, 0}), (std::vector<int64_t>{0, 0}));
}

TEST(Totals, ExampleSaleAddsUpAsTheCouponWill) {
  const Prepared prepared = PrepareSaleJson(ExampleSaleJson());
  ASSERT_TRUE(prepared.refusals.empty()) << Describe(prepared.refusals[0]);
  const Totals& t = *prepared.totals;
  ASSERT_EQ(t.det.size(), 4u);
  EXPECT_EQ(t.det[0].vProd, 4980);
  EXPECT_EQ(t.det[2].vProd, 863);  // 1.235 x 6.990 = 8.63265, truncated (indRegra T)
  EXPECT_EQ(t.subtotal, 10720);
  EXPECT_EQ(t.vCFe, 10220);
  EXPECT_EQ(t.vTroco, 780);
  EXPECT_EQ(t.vDesc, 180);
  EXPECT_EQ(t.vOutro, 250);
  // 5.00 over 48.00, 50.47, 8.63 and 0.10 in proportion, every cent given.
  int64_t shared = 0;
  for (const ItemTotals& item : t.det) shared += item.vRatDesc;
  EXPECT_EQ(shared, 500);
  EXPECT_EQ(t.det[0].vRatDesc, 224);
  EXPECT_EQ(t.det[0].vItem, 4800 - 224);
  EXPECT_EQ(t.det[0].vICMS, 824);  // 45.76 x 18% = 8.2368
  EXPECT_EQ(t.det[0].vPIS, 79);    // 48.00 x 0.0165 (the default base)
  EXPECT_EQ(t.det[2].vPIS, 6);     // 1.235 x 0.05 (the default quantity)
  EXPECT_EQ(t.vCFeLei12741, 1533);
}

TEST(Defaults, FillOnlyWhatTheTillLeftEmpty) {
  Sale sale = SmallSale();
  sale.det.push_back(TaxedItem(15000, 1000));
  sale.det[0].imposto.vItem12741 = 300;
  sale.det[1].imposto.vItem12741 = 120;
  sale.det[1].prod.vDesc = 50;
  sale.det[1].prod.indRegra = "T";
  sale.det[1].imposto.PIS = {
      Contribution::Group::kOutr, "99", std::nullopt, std::nullopt, std::nullopt, 100};
  sale.det[1].imposto.COFINS.vBC = 1;
  Complete(&sale);
  EXPECT_EQ(sale.emit.indRatISSQN, "N");
  EXPECT_EQ(sale.det[0].prod.indRegra, "A");
  EXPECT_EQ(sale.det[1].prod.indRegra, "T");
  EXPECT_EQ(sale.det[0].imposto.PIS.vBC, 1780);
  EXPECT_EQ(sale.det[1].imposto.PIS.qBCProd, 15000);
  EXPECT_EQ(sale.det[1].imposto.PIS.vBC, std::nullopt);
  EXPECT_EQ(sale.det[1].imposto.COFINS.vBC, 1);
  EXPECT_EQ(sale.total.vCFeLei12741, 420);
  sale.total.vCFeLei12741 = 999;
  Complete(&sale);
  EXPECT_EQ(sale.total.vCFeLei12741, 999);
}

TEST(Totals, SurchargeIsSharedAndAddedToTheTotal) {
  Sale sale = SmallSale();
  sale.det.push_back(TaxedItem(10000, 10000));
  sale.total.vAcresSubtot = 101;
  sale.pgto[0].vMP = 5000;
  Complete(&sale);
  Refusals refusals;
  const auto t = ComputeTotals(sale, &refusals);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->vCFe, 1780 + 1000 + 101);
  EXPECT_EQ(t->det[0].vRatAcr + t->det[1].vRatAcr, 101);
  EXPECT_EQ(t->det[0].vRatAcr, 65);  // 101 x 17.80 / 27.80 = 64.67
  EXPECT_EQ(t->vTroco, 5000 - 2881);
}

}  // namespace
}  // namespace kovrad::cfe::test
