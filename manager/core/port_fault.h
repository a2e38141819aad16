// Why the device's port would not open, looked at on this computer right
// after the failure: the fixed message reads the same for a till without a
// device, a port the user may not open and a port another program holds.
#pragma once

#include <string>

namespace kovrad::manager {

struct PortFinding {
  enum class Fault {
    kNoDevice,    // no SAT on USB
    kGone,        // the port's device file is not there
    kPermission,  // this user may not read and write the port
    kHeld,        // another program has the port open or locked
    kOther,       // the port looks usable now
  };
  Fault fault = Fault::kOther;
  std::string path;    // the port the library would use
  std::string holder;  // the program holding it, "name (pid N)"
};

// The first SAT port on USB, as the library chooses it, and what keeps it
// from opening.
PortFinding ExaminePort();

// The line under the port message: the cause found and what to do.
std::string PortHint(const PortFinding& finding);

}  // namespace kovrad::manager
