// The form API that existing point-of-sale code speaks: POST
// /hub/v1/<function in lower case>, answered with {"funcao", "retorno"}.
#include <nlohmann/json.hpp>

#include "client/text.h"
#include "routes.h"

namespace kovrad::hub {

HttpResponse SathubRoute(const Hub& hub, const HttpRequest& request, std::string_view name) {
  const HubFunction* function = FindHubFunction(name);
  const bool last_fiscal = name == "consultarultimasessaofiscal";
  if (function == nullptr && !last_fiscal) {
    return ErrorResponse(404, "Função desconhecida: " + std::string(name) + ".");
  }
  if (request.method != "POST") return ErrorResponse(405, "Use POST.");
  if (!request.body.empty() && !request.form) {
    return ErrorResponse(415, "Envie os campos como application/x-www-form-urlencoded.");
  }
  TillCall call;
  if (auto refused = ReadTillCall(hub, request, request.fields, &call)) return *refused;
  const Outcome outcome = last_fiscal
                              ? hub.service.LastFiscalSession(call.till)
                              : hub.service.Call(*function, call.till, request.fields, call.key);
  if (outcome.status != 200) return ErrorResponse(outcome.status, outcome.message);
  return {200, nlohmann::json{{"funcao", outcome.function},
                              {"retorno", client::DecodeReply(outcome.reply)}}
                   .dump()};
}

}  // namespace kovrad::hub
