#include "core/code_change.h"

#include "client/binding.h"
#include "core/replies.h"
#include "core/run_state.h"

namespace kovrad::manager {

std::vector<std::string> ChangeCode(client::Library& library, const CodeChange& change) {
  const client::Reply reply =
      KOVRAD_SAT(library, TrocarCodigoDeAtivacao, kSessionNumber, change.code.c_str(),
                 change.option, change.new_code.c_str(), change.confirmation.c_str());
  std::vector<std::string> messages;
  if (reply.called && IsLegacyPortFailure(reply.text)) messages.emplace_back(kMsgPortFailure);
  messages.push_back(client::ReportAfterCall(library, reply));
  return messages;
}

}  // namespace kovrad::manager
