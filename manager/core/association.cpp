#include "core/association.h"

#include "client/binding.h"
#include "core/checks.h"
#include "core/run_state.h"

namespace kovrad::manager {

std::variant<Association, std::string> PrepareAssociation(const AssociationInput& input) {
  StagedField taxpayer;
  if (!taxpayer.Stage(input.taxpayer) || !ValidaCNPJ(taxpayer.c_str(), taxpayer.data())) {
    return kMsgTaxpayerInvalid;
  }
  StagedField software_house;
  if (!software_house.Stage(input.software_house) ||
      !ValidaCNPJ(software_house.c_str(), software_house.data())) {
    return kMsgSoftwareHouseInvalid;
  }
  StagedSignature signature;
  if (!signature.Stage(input.signature)) {
    return StagingRefusal("Assinatura AC", signature);
  }
  return Association{software_house.str() + taxpayer.str(), RemoveLineBreaks(signature.str())};
}

std::string RemoveLineBreaks(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n') line += c;
  }
  return line;
}

std::string Associate(client::Library& library, const std::string& code,
                      const Association& association) {
  const client::Reply reply = KOVRAD_SAT(library, AssociarAssinatura, kSessionNumber, code.c_str(),
                                         association.cnpjs.c_str(), association.signature.c_str());
  return client::ReportAfterCall(library, reply);
}

}  // namespace kovrad::manager
