#include "end_to_end.h"

#include "binding.h"

namespace kovrad::manager {

std::string RunEndToEnd(Library& library, EndToEnd test, const std::string& code) {
  const Reply reply = test == EndToEnd::kSefaz ? KOVRAD_SAT(library, TesteFimAFim, kSessionNumber,
                                                            code.c_str(), kTestSale)
                                               : KOVRAD_SAT(library, ConsultarSAT, kSessionNumber);
  return ReportAfterCall(library, reply);
}

}  // namespace kovrad::manager
