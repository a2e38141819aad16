// satcli venda and satcli cancelar: a sale, or the cancellation of one, from
// its JSON form, checked before anything is sent and then sent as
// EnviarDadosVenda or CancelarUltimaVenda would send a document.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kovrad::cli {

// The ordinary call a sale command becomes.
struct SaleCall {
  std::vector<std::string> args;  // the command line of the call, its document left empty
  std::string document;           // the XML for the call's document parameter
};

// Whether the command word of `args` is venda or cancelar.
bool IsSaleCommand(const std::vector<std::string>& args);

// Reads the JSON file and checks it: the call to make, or the exit status
// when the command ends here (checked only, refused, or bad usage), its
// report written to `out` and `err`.
std::optional<int> PrepareSaleCall(const std::vector<std::string>& args, SaleCall* call,
                                   std::ostream& out, std::ostream& err);

// satcli venda and satcli cancelar from their arguments to the exit status.
int RunSaleCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kovrad::cli
