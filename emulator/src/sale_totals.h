// What the device computes for a sale, in exact decimal arithmetic: each
// item's value, its share of a discount or charge on the subtotal and its
// taxes; the coupon's totals; the change.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sale_document.h"

namespace satemu {

struct ItemTotals {
  int64_t product = 0;          // vProd: qCom times vUnCom, by the item's rounding rule
  int64_t shared_discount = 0;  // vRatDesc
  int64_t shared_charge = 0;    // vRatAcr
  int64_t item = 0;             // vItem: vProd - vDesc + vOutro - vRatDesc + vRatAcr
  std::optional<int64_t> icms, pis, pis_st, cofins, cofins_st;
  std::optional<int64_t> service_base, service_tax;  // ISSQN's vBC and vISSQN
};

// ISSQNtot: the sums of the service items.
struct ServiceTotals {
  int64_t base = 0, tax = 0, pis = 0, cofins = 0, pis_st = 0, cofins_st = 0, deductions = 0,
          others = 0;
};

// vProd, vDesc and vOutro of ICMSTot count every item; its taxes count the
// items taxed by ICMS, and `services` the others.
struct SaleTotals {
  std::vector<ItemTotals> items;
  std::optional<ServiceTotals> services;  // when an item is a service
  int64_t icms = 0, products = 0, discounts = 0, pis = 0, cofins = 0, pis_st = 0, cofins_st = 0,
          others = 0;
  int64_t total = 0;   // vCFe
  int64_t change = 0;  // vTroco
};

// All amounts in cents. False, with the reason, when the sale does not add
// up: a discount past what it discounts, an ISSQN deduction past the item's
// value, payments short of the total, or an amount past 13 digits.
bool ComputeTotals(const SaleValues& sale, SaleTotals* totals, std::string* error);

}  // namespace satemu
