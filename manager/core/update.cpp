#include "update.h"

#include "binding.h"

namespace kovrad::manager {

std::string UpdateSoftware(Library& library, const std::string& code) {
  return ReportAfterCall(library,
                         KOVRAD_SAT(library, AtualizarSoftwareSAT, kSessionNumber, code.c_str()));
}

}  // namespace kovrad::manager
