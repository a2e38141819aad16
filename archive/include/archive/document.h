// A signed coupon read for the archive: what it is indexed by and the
// figures the month's summary adds up. The coupon itself is never rewritten;
// these values are only read from it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovrad::archive {

enum class Kind {
  kSale = 0,          // CFe
  kCancellation = 1,  // CFeCanc
};

struct Payment {
  std::string code;   // cMP, "01" cash, "03" credit card...
  int64_t cents = 0;  // vMP
};

// Amounts are in cents: the totals of a coupon carry two decimals.
struct Document {
  Kind kind = Kind::kSale;
  std::string key;       // the 44 digits of the access key (infCFe Id without "CFe")
  std::string sale_key;  // a cancellation's chCanc: the sale it cancels, 44 digits
  int number = 0;        // nCFe
  std::string serial;    // nserieSAT
  int till = -1;         // numeroCaixa; -1 when the coupon has none
  int64_t issued = 0;    // dEmi and hEmi of ide, as the number AAAAMMDDhhmmss
  std::string cnpj;      // the issuer's (emit)
  std::string buyer;     // dest's CPF or CNPJ, empty when none
  int64_t total = 0;     // vCFe
  // A sale's totals; zero in a cancellation.
  int64_t gross = 0;       // vProd: the items before discounts and surcharges
  int64_t discounts = 0;   // the items' vDesc and the subtotal's vDescSubtot
  int64_t surcharges = 0;  // the items' vOutro and the subtotal's vAcresSubtot
  int64_t change = 0;      // vTroco
  std::vector<Payment> payments;
  std::string certificate;  // KeyInfo's X509Certificate (Base64), empty when unsigned
};

// Reads `xml`, a CFe or CFeCanc. False, with `error` in Portuguese, when it is
// not a coupon (no access key, no date of issue, a malformed amount).
bool ReadDocument(std::string_view xml, Document* document, std::string* error);

// The coupon that a sale (06000) or cancellation (07000) reply line carries
// in Base64 in its seventh field, decoded. False when the reply carries none.
bool CouponOfReply(std::string_view reply, std::string* xml);

// An access key as callers write it ("CFe" and 44 digits, or the digits
// alone) as the 44 digits; empty when it is neither.
std::string KeyDigits(std::string_view key);

}  // namespace kovrad::archive
