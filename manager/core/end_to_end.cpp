#include "core/end_to_end.h"

#include "client/binding.h"
#include "core/run_state.h"

namespace kovrad::manager {

std::string RunEndToEnd(client::Library& library, EndToEnd test, const std::string& code) {
  const client::Reply reply =
      test == EndToEnd::kSefaz
          ? KOVRAD_SAT(library, TesteFimAFim, kSessionNumber, code.c_str(), kTestSale)
          : KOVRAD_SAT(library, ConsultarSAT, kSessionNumber);
  return client::ReportAfterCall(library, reply);
}

}  // namespace kovrad::manager
