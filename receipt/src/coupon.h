// A signed coupon as the device returns it: a sale (CFe) or the
// cancellation of one (CFeCanc), read into the values its extrato shows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kovrad::receipt {

// Amounts stay the decimal texts of the coupon ("24.90"): the extrato prints
// what the device signed, never a value recomputed from it.
struct Item {
  std::string number;  // nItem
  std::string code;    // cProd
  std::string description;
  std::string quantity, unit, unit_price;
  std::string value;  // vProd, before the adjustments below (vItem when the coupon lacks it)
  std::string discount, surcharge;  // vDesc, vOutro
  std::string shared_discount;      // vRatDesc: its share of the subtotal's discount
  std::string shared_surcharge;     // vRatAcr
  std::string approximate_taxes;    // vItem12741
  std::string service_deduction;    // a service's vDeducISSQN
  std::string service_base;         // and its ISSQN base (vBC), vItem less that deduction
  std::string note;                 // infAdProd
};

struct Payment {
  std::string code;  // cMP
  std::string value;
};

struct Issuer {
  std::string name, trade_name;
  std::string street, number, complement, district, city, postcode;
  std::string cnpj, ie, im;
};

struct Coupon {
  bool cancellation = false;
  std::string key;                   // 44 digits
  std::string cancelled_key;         // the sale a cancellation cancels
  std::string number;                // nCFe
  std::string serial;                // nserieSAT
  std::string date, time;            // AAAAMMDD, hhmmss of issue
  std::string sale_date, sale_time;  // a cancellation's record of its sale's issue
  bool test_environment = false;
  std::string qr_signature;  // assinaturaQRCODE
  Issuer issuer;
  std::string buyer;  // CPF or CNPJ, empty when none
  std::string buyer_name;
  std::vector<Item> items;
  std::string products;                         // vProd of the totals: the items' gross sum
  std::string item_discounts, item_surcharges;  // vDesc, vOutro of the totals
  std::string subtotal_discount, subtotal_surcharge;
  std::string total;              // vCFe
  std::string approximate_taxes;  // vCFeLei12741
  std::vector<Payment> payments;
  std::string change;  // vTroco
  std::string notes;   // infCpl
};

// Reads `input`: the coupon's XML, its Base64, or a reply line (or a file
// holding one) whose Base64 field is the coupon. False with `error` set, in
// Portuguese, when it holds no coupon the extrato can be printed from.
bool ReadCoupon(std::string_view input, Coupon* coupon, std::string* error);

// The standard's QR-code content: key|timestamp|total|buyer|signature.
std::string QrContent(const Coupon& coupon);

}  // namespace kovrad::receipt
