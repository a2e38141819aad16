// The accountant's bundle of a month: a ZIP file with every sale and
// cancellation coupon issued in the month, each under its access key
// ("vendas/CFe<key>.xml", "cancelamentos/CFe<key>.xml"), and a summary of
// them as CSV ("resumo.csv") and PDF ("resumo.pdf"). The summary is added up
// from the very bytes that go into the bundle, and checked against the
// archive's index before the bundle is written.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "archive/archive.h"
#include "archive/document.h"

namespace kovrad::archive {

// What a set of coupons adds up to, in cents.
struct Figures {
  int64_t sales = 0;          // sale coupons
  int64_t gross = 0;          // their vProd
  int64_t discounts = 0;      // their discounts, on items and on the subtotal
  int64_t surcharges = 0;     // their surcharges, on items and on the subtotal
  int64_t total = 0;          // their vCFe
  int64_t cancellations = 0;  // cancellation coupons
  int64_t cancelled = 0;      // the totals those cancel
  int64_t net() const { return total - cancelled; }
  bool operator==(const Figures&) const = default;
};

struct PaymentFigures {
  int64_t sales = 0;  // sale coupons paid, wholly or partly, this way
  int64_t cents = 0;  // their vMP
  bool operator==(const PaymentFigures&) const = default;
};

struct Summary {
  std::string month;  // AAAA-MM
  std::string cnpj;   // the issuer asked for; empty: every issuer in the archive
  Figures all;
  std::map<std::string, Figures> days;             // "AAAA-MM-DD"
  std::map<std::string, PaymentFigures> payments;  // by cMP
  int64_t change = 0;                              // vTroco of the sales

  // Adds one coupon of the month.
  void Add(const Document& document);
};

// The summary as CSV (";"-separated, decimal comma, UTF-8): one row per day,
// one for the month and one per means of payment.
std::string SummaryCsv(const Summary& summary);
// The same figures on A4 pages.
bool SummaryPdf(const Summary& summary, std::string* pdf, std::string* error);

// The name of a means of payment (cMP), in Portuguese.
std::string PaymentName(const std::string& code);

struct BundleReport {
  Summary summary;
  int64_t files = 0;  // coupons in the bundle
};

// Writes the bundle of `month` ("AAAA-MM"), of the issuer `cnpj` or of
// every issuer when empty, to `path` (mode 0600; an existing file is
// replaced only once the new one is complete). `progress` (optional) hears of
// coupons read. False with `error` (Portuguese) when nothing was written.
bool WriteBundle(Archive& archive, const std::string& month, const std::string& cnpj,
                 const std::string& path, const Archive::Progress& progress, BundleReport* report,
                 std::string* error);

}  // namespace kovrad::archive
