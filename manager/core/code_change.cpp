#include "code_change.h"

#include "binding.h"
#include "replies.h"

namespace kovrad::manager {

std::vector<std::string> ChangeCode(Library& library, const CodeChange& change) {
  const Reply reply =
      KOVRAD_SAT(library, TrocarCodigoDeAtivacao, kSessionNumber, change.code.c_str(),
                 change.option, change.new_code.c_str(), change.confirmation.c_str());
  std::vector<std::string> messages;
  if (reply.called && IsLegacyPortFailure(reply.text)) messages.emplace_back(kMsgPortFailure);
  messages.push_back(ReportAfterCall(library, reply));
  return messages;
}

}  // namespace kovrad::manager
