// The emulator's sale and cancellation document readers on any text, and the
// sale's arithmetic on whatever a sale document it accepts says. A document
// read is one the device would sign: its totals either add up or are refused
// with a reason.
#include <string>
#include <string_view>

#include "cancellation_document.h"
#include "require.h"
#include "sale_document.h"
#include "sale_totals.h"

using kovrad::fuzz::Require;

// Byte 0: even for a sale document, odd for a cancellation; then the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return -1;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string error;
  if (data[0] % 2 == 1) {
    satemu::Cancellation cancellation;
    if (satemu::ReadCancellation(text, &cancellation, &error)) {
      Require(cancellation.key.size() == 44, "a key of 44 digits");
    } else {
      Require(!error.empty(), "a reason for the refusal");
    }
    return 0;
  }
  satemu::Sale sale;
  if (!satemu::ReadSale(text, &sale, &error)) {
    Require(!error.empty(), "a reason for the refusal");
    return 0;
  }
  Require(!sale.values.items.empty(), "a sale of at least one item");
  satemu::SaleTotals totals;
  error.clear();
  if (satemu::ComputeTotals(sale.values, &totals, &error)) {
    Require(totals.items.size() == sale.values.items.size(), "totals for every item");
    Require(totals.change >= 0, "no negative change");
  } else {
    Require(!error.empty(), "a reason for the refusal");
  }
  return 0;
}
