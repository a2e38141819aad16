#include "lock.h"

#include "binding.h"

namespace kovrad::manager {

std::string ChangeLock(Library& library, const std::string& code, LockAction action) {
  const Reply reply = action == LockAction::kLock
                          ? KOVRAD_SAT(library, BloquearSAT, kSessionNumber, code.c_str())
                          : KOVRAD_SAT(library, DesbloquearSAT, kSessionNumber, code.c_str());
  return ReportAfterCall(library, reply);
}

}  // namespace kovrad::manager
