// The JSON form of the documents: objects and names as the layout's groups
// and elements (docs/cfe-venda.schema.json), for example
//   {"ide": {"CNPJ": "16716114000172", "signAC": "...", "numeroCaixa": "001"},
//    "emit": {"CNPJ": "08723218000186", "IE": "149626224113"},
//    "det": [{"prod": {"cProd": "1", "xProd": "ARROZ", "CFOP": "5102", "uCom": "UN",
//                      "qCom": 2, "vUnCom": "24.90"},
//             "imposto": {"ICMS": {"ICMS00": {"Orig": "0", "CST": "00", "pICMS": "18.00"}},
//                         "PIS": {"PISNT": {"CST": "04"}}, "COFINS": {"COFINSNT": {"CST":
//                         "04"}}}}],
//    "pgto": {"MP": [{"cMP": "01", "vMP": "60.00"}]}}
// Decimals are strings ("24.90") or JSON numbers; everything else strings.
// A name the layout does not have is refused, so a misspelt field is never
// dropped in silence.
#pragma once

#include <string_view>

#include "cfe/defaults.h"
#include "cfe/refusal.h"
#include "cfe/sale.h"

namespace kovrad::cfe {

// False, with the refusals, when the text is not a sale of this form; what
// could be read is in `sale` either way.
bool ReadSale(std::string_view json, Sale* sale, Refusals* refusals);
bool ReadCancellation(std::string_view json, Cancellation* cancellation, Refusals* refusals);

// Read, completed and checked: every refusal of the reader and the check at
// once, or the totals and the XML.
Prepared PrepareSaleJson(std::string_view json);
PreparedCancellation PrepareCancellationJson(std::string_view json);

}  // namespace kovrad::cfe
