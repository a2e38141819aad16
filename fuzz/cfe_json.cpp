// The sale and cancellation builders on any JSON text: a refusal always says
// where and why; an accepted sale adds up (payments cover the total, which
// fits its field) and its XML is well-formed.
#include <libxml/parser.h>

#include <string>
#include <string_view>

#include "cfe/decimal.h"
#include "cfe/json_reader.h"
#include "require.h"

using kovrad::fuzz::Require;

namespace {

bool WellFormed(const std::string& xml) {
  xmlDoc* doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, "UTF-8",
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  xmlFreeDoc(doc);
  return doc != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kovrad::cfe;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Prepared sale = PrepareSaleJson(text);
  for (const Refusal& r : sale.refusals) Require(!r.message.empty(), "a refusal says why");
  if (sale.refusals.empty()) {
    const Totals& t = *sale.totals;
    Require(t.paid >= t.vCFe && t.vTroco == t.paid - t.vCFe, "payments cover the total");
    Require(t.vCFe <= kMaxMoney, "the total fits its field");
    Require(WellFormed(sale.xml), "the sale's XML is well-formed");
  }
  const PreparedCancellation cancellation = PrepareCancellationJson(text);
  if (cancellation.refusals.empty()) {
    Require(WellFormed(cancellation.xml), "the cancellation's XML is well-formed");
  }
  return 0;
}
