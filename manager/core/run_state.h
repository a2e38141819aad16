// What the manager holds for the whole run: the activation code it presents
// to the device and the kind of device the operator said is attached.
#pragma once

#include <cstdint>
#include <string>

namespace kovrad::manager {

// Every SAT call the operator program makes carries this session number.
inline constexpr int32_t kSessionNumber = 12;

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

}  // namespace kovrad::manager
