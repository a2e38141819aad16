// docs/functions.md: every function of the library with its arguments, its
// reply's fields and its result codes, written from the same table satcli
// calls the functions with, so the two cannot drift apart.
#pragma once

#include <string>

namespace kovrad::cli {

std::string FunctionReference();

}  // namespace kovrad::cli
