// The coupon's numbers: exact decimals, the sale's totals and the access key.
#include <gtest/gtest.h>

#include <numeric>

#include "access_key.h"
#include "decimal.h"
#include "sale_totals.h"

namespace satemu {
namespace {

TEST(Decimal, ReadsAndWritesFixedPointText) {
  int64_t units = -1;
  ASSERT_TRUE(ParseDecimal("250.5", 9, 3, &units));
  EXPECT_EQ(units, 250500);
  ASSERT_TRUE(ParseDecimal("0.0165", 1, 4, &units));
  EXPECT_EQ(units, 165);
  ASSERT_TRUE(ParseDecimal("9999999999999.99", 13, 2, &units));
  EXPECT_EQ(units, kMaxCents);
  ASSERT_TRUE(ParseDecimal("7", 13, 2, &units));
  EXPECT_EQ(units, 700);
  for (const char* bad : {"", ".5", "5.", "1.234", "-1.00", "+1.00", "1e3", " 1.00", "1,00",
                          "12345678901234.00", "0x10", "1.2.3"}) {
    EXPECT_FALSE(ParseDecimal(bad, 13, 2, &units)) << bad;
  }
  EXPECT_EQ(FormatDecimal(25050, 2), "250.50");
  EXPECT_EQ(FormatDecimal(5, 2), "0.05");
  EXPECT_EQ(FormatDecimal(kMaxCents, 2), "9999999999999.99");
}

TEST(Decimal, RoundsTheAbntWayOrTruncates) {
  auto round = [](int64_t a, int64_t b, int64_t divisor, Rounding rounding) {
    int64_t result = -1;
    EXPECT_TRUE(MultiplyRounded(a, b, divisor, rounding, &result));
    return result;
  };
  // Cents of a quantity (10^-4) times a price (10^-3): divide by 10^5.
  EXPECT_EQ(round(9950, 990, 100000, Rounding::kAbnt), 99);      // 0.98505 -> 0.99
  EXPECT_EQ(round(9950, 990, 100000, Rounding::kTruncate), 98);  // 0.98505 -> 0.98
  EXPECT_EQ(round(1, 125, 10, Rounding::kAbnt), 12);             // 12.5: even neighbour
  EXPECT_EQ(round(1, 135, 10, Rounding::kAbnt), 14);             // 13.5: even neighbour
  EXPECT_EQ(round(1, 1251, 100, Rounding::kAbnt), 13);           // 12.51: past the half
  EXPECT_EQ(round(1, 1249, 100, Rounding::kAbnt), 12);
  int64_t result = 0;
  EXPECT_FALSE(MultiplyRounded(INT64_MAX, 2, 1, Rounding::kAbnt, &result));
}

TEST(Decimal, ApportionsToTheCentAndGivesLeftoversToTheLargestRemainders) {
  // 5.00 over 48.00, 50.47, 8.63 and 0.10.
  const std::vector<int64_t> shares = Apportion(500, {4800, 5047, 863, 10});
  EXPECT_EQ(shares, (std::vector<int64_t>{224, 235, 40, 1}));
  EXPECT_EQ(Apportion(100, {1, 1, 1}), (std::vector<int64_t>{34, 33, 33}));
  EXPECT_EQ(Apportion(7, {0, 5, 0}), (std::vector<int64_t>{0, 7, 0}));
  const std::vector<int64_t> many = Apportion(999999, std::vector<int64_t>(500, 333));
  EXPECT_EQ(std::accumulate(many.begin(), many.end(), int64_t{0}), 999999);
}

ItemValues Item(int64_t quantity, int64_t unit_price, Rounding rounding = Rounding::kAbnt) {
  ItemValues item;
  item.quantity = quantity;
  item.unit_price = unit_price;
  item.rounding = rounding;
  return item;
}

TEST(SaleTotals, AreExactWhereBinaryFloatingPointIsNot) {
  SaleValues sale;
  // 0.1 + 0.2 is 0.30000000000000004 in binary floating point, and ten
  // times 0.10 falls short of 1.00: paying exactly must not come up short.
  sale.items = {Item(10000, 100), Item(10000, 200)};
  sale.payments = {30};
  SaleTotals totals;
  std::string error;
  ASSERT_TRUE(ComputeTotals(sale, &totals, &error)) << error;
  EXPECT_EQ(totals.total, 30);
  EXPECT_EQ(totals.change, 0);

  sale.items.assign(10, Item(10000, 100));
  sale.payments = {100};
  ASSERT_TRUE(ComputeTotals(sale, &totals, &error)) << error;
  EXPECT_EQ(totals.total, 100);
  EXPECT_EQ(totals.change, 0);

  // 4.35 * 100 is 434.99999999999994 in binary floating point: truncating
  // that would lose a cent.
  sale.items = {Item(10000, 4350, Rounding::kTruncate)};
  sale.payments = {435};
  ASSERT_TRUE(ComputeTotals(sale, &totals, &error)) << error;
  EXPECT_EQ(totals.items[0].product, 435);

  // 1.015 * 100 is 101.49999999999999: rounding that to the cent goes down.
  sale.items = {Item(10000, 1015)};
  sale.payments = {102};
  ASSERT_TRUE(ComputeTotals(sale, &totals, &error)) << error;
  EXPECT_EQ(totals.items[0].product, 102);  // 1.015 -> 1.02, 5 rounds to the even 2
}

TEST(SaleTotals, ItemDiscountsChargesSharedDiscountAndTaxes) {
  SaleValues sale;
  ItemValues rice = Item(20000, 24900);  // 2 x 24.90 = 49.80
  rice.discount = 180;
  rice.icms_rate = 1800;
  rice.pis = {Contribution::Basis::kValue, 4800, 165};     // 48.00 x 0.0165 = 0.792
  rice.cofins = {Contribution::Basis::kValue, 4800, 760};  // 48.00 x 0.0760 = 3.648
  ItemValues coffee = Item(30000, 15990);                  // 3 x 15.99 = 47.97
  coffee.other = 250;
  coffee.icms_rate = 1200;
  ItemValues bananas = Item(12350, 6990, Rounding::kTruncate);        // 8.63265 -> 8.63
  bananas.pis = {Contribution::Basis::kQuantity, 12350, 500};         // 1.235 x 0.05 = 0.06175
  bananas.cofins_st = {Contribution::Basis::kQuantity, 12350, 2300};  // 0.28405
  sale.items = {rice, coffee, bananas, Item(10000, 100)};
  sale.subtotal_discount = 500;
  sale.payments = {5000, 6000};

  SaleTotals t;
  std::string error;
  ASSERT_TRUE(ComputeTotals(sale, &t, &error)) << error;
  ASSERT_EQ(t.items.size(), 4u);
  // Subtotal 48.00 + 50.47 + 8.63 + 0.10 = 107.20; 5.00 off it shared out.
  EXPECT_EQ(t.items[0].item, 4800 - 224);
  EXPECT_EQ(t.items[1].item, 5047 - 235);
  EXPECT_EQ(t.items[2].item, 863 - 40);
  EXPECT_EQ(t.items[3].item, 10 - 1);
  EXPECT_EQ(t.items[0].icms, 824);  // 45.76 x 18% = 8.2368
  EXPECT_EQ(t.items[1].icms, 577);  // 48.12 x 12% = 5.7744
  EXPECT_FALSE(t.items[2].icms.has_value());
  EXPECT_EQ(t.items[0].pis, 79);
  EXPECT_EQ(t.items[0].cofins, 365);
  EXPECT_EQ(t.items[2].pis, 6);
  EXPECT_EQ(t.items[2].cofins_st, 28);
  EXPECT_EQ(t.products, 10650);
  EXPECT_EQ(t.discounts, 180);
  EXPECT_EQ(t.others, 250);
  EXPECT_EQ(t.icms, 1401);
  EXPECT_EQ(t.pis, 85);
  EXPECT_EQ(t.cofins, 365);
  EXPECT_EQ(t.cofins_st, 28);
  EXPECT_EQ(t.total, 10220);
  EXPECT_EQ(t.change, 780);

  // A charge on the subtotal instead of the discount.
  sale.subtotal_discount = 0;
  sale.subtotal_charge = 100;
  ASSERT_TRUE(ComputeTotals(sale, &t, &error)) << error;
  EXPECT_EQ(t.total, 10820);
  EXPECT_EQ(t.items[0].shared_charge + t.items[1].shared_charge + t.items[2].shared_charge +
                t.items[3].shared_charge,
            100);
}

TEST(SaleTotals, RefuseWhatDoesNotAddUp) {
  std::string error;
  SaleTotals t;
  SaleValues sale;
  ItemValues item = Item(10000, 10000);  // 10.00
  item.discount = 1001;
  sale.items = {item};
  sale.payments = {1000};
  EXPECT_FALSE(ComputeTotals(sale, &t, &error));
  EXPECT_NE(error.find("desconto maior que o valor no item 1"), std::string::npos) << error;

  sale.items = {Item(10000, 10000)};
  sale.payments = {999};
  error.clear();
  EXPECT_FALSE(ComputeTotals(sale, &t, &error));
  EXPECT_EQ(error,
            std::string(rejection::kPaymentsShort) + " valor pago menor que o total do CF-e");

  sale.payments = {1000};
  sale.subtotal_discount = 1000;
  EXPECT_FALSE(ComputeTotals(sale, &t, &error));

  // 11 integer digits of quantity times 9 of price: far past 13 digits.
  sale.subtotal_discount = 0;
  sale.items = {Item(999999999990000, 999999999999)};
  EXPECT_FALSE(ComputeTotals(sale, &t, &error));
  EXPECT_NE(error.find("limite"), std::string::npos) << error;
  sale.items.assign(500, Item(99999999990000, 999999999));  // each fits, the sum does not
  EXPECT_FALSE(ComputeTotals(sale, &t, &error));
}

// A service of 100.00 (5% ISSQN, 10.00 deducted) beside goods of 50.00 and a
// discount of 3.00 on the subtotal: the goods alone share it unless
// indRatISSQN says otherwise.
TEST(SaleTotals, ServiceItemsTaxedByIssqnAndTheirShareOfTheSubtotal) {
  SaleValues sale;
  ItemValues service = Item(10000, 100000);
  service.service = ServiceTax{1000, 500};
  service.pis = {Contribution::Basis::kValue, 10000, 65};  // 0.65%: 0.65
  sale.items = {service, Item(10000, 50000)};
  sale.subtotal_discount = 300;
  sale.payments = {20000};
  SaleTotals t;
  std::string error;
  ASSERT_TRUE(ComputeTotals(sale, &t, &error)) << error;
  EXPECT_EQ(t.items[0].shared_discount, 0);
  EXPECT_EQ(t.items[1].shared_discount, 300);
  EXPECT_EQ(t.items[0].service_base, 9000);
  EXPECT_EQ(t.items[0].service_tax, 450);
  ASSERT_TRUE(t.services);
  EXPECT_EQ(t.services->base, 9000);
  EXPECT_EQ(t.services->deductions, 1000);
  EXPECT_EQ(t.services->pis, 65);
  EXPECT_EQ(t.pis, 0);  // ICMSTot counts the goods' PIS only
  EXPECT_EQ(t.products, 15000);
  EXPECT_EQ(t.total, 14700);

  sale.services_share = true;  // 100 : 50, so 2.00 and 1.00
  ASSERT_TRUE(ComputeTotals(sale, &t, &error)) << error;
  EXPECT_EQ(t.items[0].shared_discount, 200);
  EXPECT_EQ(t.items[0].service_base, 8800);
  EXPECT_EQ(t.items[0].service_tax, 440);

  // The goods alone must cover a discount they alone share.
  sale.services_share = false;
  sale.subtotal_discount = 5000;
  EXPECT_FALSE(ComputeTotals(sale, &t, &error));
  EXPECT_EQ(error.substr(0, 5), std::string(rejection::kSubtotalDiscount) + " ");
  sale.subtotal_discount = 0;
  sale.items[0].service->deduction = 10001;
  error.clear();
  EXPECT_FALSE(ComputeTotals(sale, &t, &error));
  EXPECT_EQ(error.substr(0, 5), std::string(rejection::kServiceDeduction) + " ");
}

TEST(AccessKey, CheckDigitOfWorkedExamples) {
  // The example of the electronic invoice manuals, whose key scheme the
  // CF-e shares: remainder 6, digit 11 - 6 = 5.
  EXPECT_EQ(AccessKeyCheckDigit("5206043300991100250655012000000780026730161"), 5);
  // Weights 2,3,4 from the right over "111": 9, remainder 9, digit 2.
  EXPECT_EQ(AccessKeyCheckDigit("111"), 2);
  // A remainder of 0 or 1 would give 11 or 10: the digit is 0.
  EXPECT_EQ(AccessKeyCheckDigit("0"), 0);  // sum 0
  EXPECT_EQ(AccessKeyCheckDigit("6"), 0);  // sum 12, remainder 1
}

TEST(AccessKey, IsMadeOfItsPartsInOrder) {
  const std::string key = AccessKey({"35", "2612", "08723218000186", "900000000", 42, 123456});
  ASSERT_EQ(key.size(), kAccessKeyLength);
  EXPECT_EQ(key.substr(0, 43), "3526120872321800018659900000000000042123456");
  EXPECT_EQ(key[43] - '0', AccessKeyCheckDigit(key.substr(0, 43)));
  EXPECT_EQ(AccessKey({"3", "2612", "08723218000186", "900000000", 1, 1}), "");
  EXPECT_EQ(AccessKey({"35", "2612", "08723218000186", "90000000X", 1, 1}), "");
  EXPECT_EQ(AccessKey({"35", "2612", "08723218000186", "900000000", 1000000, 1}), "");
}

}  // namespace
}  // namespace satemu
