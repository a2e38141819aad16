// Activation-code change: the code stored in the device replaced by a new
// one, presenting either the activation code or the emergency code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kovrad::client {
class Library;
}  // namespace kovrad::client

namespace kovrad::manager {

// Texts are staged Windows-1252; option 1 presents the activation code,
// option 2 the emergency code.
struct CodeChange {
  std::string code;
  int32_t option = 1;
  std::string new_code;
  std::string confirmation;
};

// Sends the change and returns the operator's messages in the order they are
// shown.
std::vector<std::string> ChangeCode(client::Library& library, const CodeChange& change);

}  // namespace kovrad::manager
