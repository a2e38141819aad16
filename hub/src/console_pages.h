// The store console's pages as HTML: each page's body written from what the
// hub holds, every value escaped; the frame around it with the console's
// menu, or the login form alone.
#pragma once

#include <string>
#include <vector>

#include "archive/archive.h"
#include "printing.h"

namespace kovrad::hub {

struct Hub;

// A whole page: the menu and `body`, titled `title`.
std::string ConsolePage(const std::string& title, const std::string& body);
// The login form and nothing else; `problem` above it when not empty.
std::string LoginPage(const std::string& problem);

// Each device with its status in words and its queue, and the shipping to
// the chain's database where there is one.
std::string DevicesBody(const Hub& hub);
// The search form with `request`'s values, then `problem` or the coupons
// found (`page`, whose number is `query.page`).
struct CouponSearch {
  std::map<std::string, std::string> values;  // de, ate, caixa, documento as typed
  archive::Query query;
  archive::Page page;
  std::string problem;
};
std::string CouponsBody(const CouponSearch& search);
// One coupon: its index row, its extrato, its prints and the reprint form.
std::string CouponBody(const archive::Entry& entry, const std::vector<PrintEntry>& prints,
                       const Printers& printers);
// What came of a print: the JSON PrintCoupon answered, in words.
std::string PrintedBody(const std::string& key, int status, const std::string& answer);
// The month's bundle form, `month` filled in.
std::string BundleBody(const std::string& month, const std::string& problem);

}  // namespace kovrad::hub
