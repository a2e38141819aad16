#include "core/lock.h"

#include "client/binding.h"
#include "core/run_state.h"

namespace kovrad::manager {

std::string ChangeLock(client::Library& library, const std::string& code, LockAction action) {
  const client::Reply reply =
      action == LockAction::kLock
          ? KOVRAD_SAT(library, BloquearSAT, kSessionNumber, code.c_str())
          : KOVRAD_SAT(library, DesbloquearSAT, kSessionNumber, code.c_str());
  return client::ReportAfterCall(library, reply);
}

}  // namespace kovrad::manager
