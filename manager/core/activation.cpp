#include "core/activation.h"

#include <optional>

#include "client/binding.h"
#include "client/link_error.h"
#include "client/text.h"
#include "core/checks.h"
#include "core/replies.h"
#include "core/run_state.h"

namespace kovrad::manager {
namespace {

constexpr char kActivatedCode[] = "04000";

}  // namespace

std::variant<Activation, std::string> PrepareActivation(const ActivationInput& input) {
  StagedField cnpj;
  if (!cnpj.Stage(input.cnpj) || !ValidaCNPJ(cnpj.c_str(), cnpj.data())) return kMsgCnpjInvalid;
  StagedField code;
  if (!code.Stage(input.code)) return StagingRefusal("Código de Ativação", code);
  StagedField confirmation;
  if (!confirmation.Stage(input.confirmation)) {
    return StagingRefusal("Confirma Código de Ativação", confirmation);
  }
  if (std::optional<std::string> refusal = CheckActivationCode(
          client::CharacterCount(input.code), code.c_str(), confirmation.c_str())) {
    return *refusal;
  }
  return Activation{input.kind, code.str(), cnpj.str()};
}

std::string CertificateRequest(std::string_view reply) {
  size_t begin = reply.find("BEGIN");
  if (begin == std::string_view::npos) return {};
  // A PEM request starts with the dashes before the word: keep them, or the
  // saved file would not be a request any tool can read.
  while (begin > 0 && reply[begin - 1] == '-') --begin;
  return client::DecodeReply(reply.substr(begin));
}

ActivationOutcome Activate(client::Library& library, const Activation& activation) {
  ActivationOutcome outcome;
  const client::Reply reply =
      KOVRAD_SAT(library, AtivarSAT, kSessionNumber, activation.kind, activation.code.c_str(),
                 activation.cnpj.c_str(), kActivationStateCode);
  if (!reply.called) {
    outcome.message = reply.problem;
    return outcome;
  }
  if (IsLegacyPortFailure(reply.text)) {
    outcome.message = kMsgPortNotOpened;
    return outcome;
  }
  outcome.succeeded = reply.text.find("Sucesso") != std::string::npos;
  std::string problem;
  const std::optional<COMM_ERROR> record = library.ErrorRecord(&problem);
  if (!record) {
    outcome.message = problem;
  } else if (client::IsLinkError(record->code)) {
    outcome.message = client::ErrorReport(*record);
    return outcome;
  } else if (client::ResultCodeOf(reply.text) == kActivatedCode) {
    outcome.message = kMsgActivated;
  } else {
    outcome.message = client::ErrorReport(*record);
    outcome.in_message_window = true;
  }
  outcome.request = CertificateRequest(reply.text);
  return outcome;
}

}  // namespace kovrad::manager
