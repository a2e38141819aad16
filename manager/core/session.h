// What the manager holds for the whole run: the activation code it presents
// to the device and the kind of device the operator said is attached.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kovrad::manager {

class Library;

// The code of a production device that has not been activated yet.
inline constexpr char kPresetCode[] = "24681357";

struct Session {
  // Windows-1252, at most 99 bytes; empty until the operator supplies it.
  std::string code;
  // The development kit is attached (the start-up choice).
  bool kit_mode = true;

  // The current code, or the preset code while there is none.
  std::string CodeOrPreset() const { return code.empty() ? kPresetCode : code; }
};

// A change of the code stored in the device. Texts are staged Windows-1252;
// option 1 presents the activation code, option 2 the emergency code.
struct CodeChange {
  std::string code;
  int32_t option = 1;
  std::string new_code;
  std::string confirmation;
};

// Sends the change and returns the operator's messages in the order they are
// shown.
std::vector<std::string> ChangeCode(Library& library, const CodeChange& change);

}  // namespace kovrad::manager
