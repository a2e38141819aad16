// satcli from its arguments to its exit status.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kovrad::cli {

// Runs one invocation (the arguments after the program name), printing to
// `out` and `err`; the exit status. A `built` document replaces the text of
// the function's --documento (a document built here rather than read).
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const std::string* built = nullptr);

}  // namespace kovrad::cli
