#include "core/update.h"

#include "client/binding.h"
#include "core/run_state.h"

namespace kovrad::manager {

std::string UpdateSoftware(client::Library& library, const std::string& code) {
  return client::ReportAfterCall(
      library, KOVRAD_SAT(library, AtualizarSoftwareSAT, kSessionNumber, code.c_str()));
}

}  // namespace kovrad::manager
