// The extrato from the shell: "satcli extrato" renders a coupon already on
// disk, and "--extrato FILE" on a sale or a cancellation renders the coupon
// the device has just signed.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kovrad::cli {

// satcli's whole run: the extrato subcommand, a call with --extrato, or
// any other call passed on to Run unchanged.
int RunWithExtrato(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kovrad::cli
