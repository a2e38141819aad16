// Issuing coupons: the signed CF-e of a sale, and the signed cancellation
// CF-e of the last sale, built from the host's document, the device's state
// and what the device computed.
#pragma once

#include <ctime>
#include <string>

#include "cancellation_document.h"
#include "sale_document.h"
#include "sale_totals.h"
#include "signing_key.h"
#include "state.h"

namespace satemu {

// The device as it signs: its state (taxpayer, state code), serial number
// and key.
struct Issuer {
  const DeviceState& state;
  const std::string& serial;  // nine digits
  const SigningKey& key;
};

// What makes one coupon unlike another of the same document.
struct Stamp {
  int number = 0;  // nCFe
  int code = 0;    // cNF, the random code in the access key
  std::time_t when = 0;
};

// An issued coupon and the reply fields that go with it.
struct Coupon {
  std::string xml;           // the signed document, UTF-8
  std::string key;           // the 44-digit access key
  std::string timestamp;     // AAAAMMDDhhmmss of issue
  std::string total;         // vCFe
  std::string buyer;         // CPF or CNPJ, empty when none
  std::string qr_signature;  // assinaturaQRCODE, Base64
};

bool IssueSale(const Sale& sale, const SaleTotals& totals, const Issuer& issuer, const Stamp& stamp,
               Coupon* coupon, std::string* error);

// Cancels `sale` (the last one), as `cancellation` asks.
bool IssueCancellation(const Cancellation& cancellation, const LastSale& sale, const Issuer& issuer,
                       const Stamp& stamp, Coupon* coupon, std::string* error);

}  // namespace satemu
