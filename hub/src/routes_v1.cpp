// The hub's own JSON API: the same functions with JSON bodies, replies split
// into their named fields with the decoded coupon, and the devices' state.
#include <nlohmann/json.hpp>

#include "client/functions.h"
#include "client/recovery.h"
#include "client/reply_line.h"
#include "client/text.h"
#include "routes.h"

namespace kovrad::hub {
namespace {

using nlohmann::json;

constexpr std::string_view kDevices = "devices";

// The reply as named fields, for the layout of `function`'s replies.
json Split(const std::string& function, const std::string& reply) {
  const client::Function* f = client::FindFunction(function);
  const client::Layout layout =
      function == "ConsultarUltimaSessaoFiscal" || f == nullptr ? client::Layout::kSale : f->layout;
  const auto names = client::FieldNames(layout);
  const auto values = client::SplitFields(reply);
  json fields = json::object();
  for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
    fields[std::string(names[i])] = client::DecodeReply(values[i]);
  }
  return fields;
}

HttpResponse Answer(const Outcome& outcome) {
  if (outcome.status != 200) return ErrorResponse(outcome.status, outcome.message);
  json body = {{"funcao", outcome.function},
               {"retorno", client::DecodeReply(outcome.reply)},
               {"sessao", outcome.session},
               {"recuperada", outcome.recovered},
               {"repetida", outcome.repeated}};
  const std::string coupon = client::CouponOf(outcome.reply);
  if (!coupon.empty()) body["cfe"] = client::DecodeReply(coupon);
  body["campos"] = Split(outcome.function, outcome.reply);
  return {200, body.dump()};
}

// A JSON object's members as the form API's fields: texts as they are,
// numbers written in decimal.
std::optional<HttpResponse> ReadFields(const std::string& body, Fields* fields) {
  const json parsed = json::parse(body.empty() ? "{}" : body, nullptr, false);
  if (!parsed.is_object()) {
    return ErrorResponse(400, "O corpo deve ser um objeto JSON.");
  }
  for (const auto& [name, value] : parsed.items()) {
    if (value.is_string()) {
      (*fields)[name] = value.get<std::string>();
    } else if (value.is_number_integer()) {
      (*fields)[name] = std::to_string(value.get<int64_t>());
    } else {
      return ErrorResponse(400, "Campo " + name + " inválido: texto ou número inteiro.");
    }
  }
  return std::nullopt;
}

HttpResponse Devices(const Hub& hub) {
  json list = json::array();
  for (const auto& device : hub.service.devices()) {
    list.push_back({{"serie", device->serial()},
                    {"porta", "ttyACM" + std::to_string(device->port())},
                    {"processo", device->worker_pid()},
                    {"fila", device->depth()}});
  }
  return {200, json{{"dispositivos", list}}.dump()};
}

}  // namespace

HttpResponse V1Route(const Hub& hub, const HttpRequest& request, std::string_view rest) {
  if (rest == kDevices || rest.starts_with(std::string(kDevices) + "/")) {
    if (request.method != "GET") return ErrorResponse(405, "Use GET.");
    if (auto refused = CheckAccess(hub, request)) return *refused;
    if (rest == kDevices) return Devices(hub);
    std::string_view serial = rest.substr(kDevices.size() + 1);
    if (!serial.ends_with("/status")) return ErrorResponse(404, "Rota desconhecida.");
    serial.remove_suffix(std::string_view("/status").size());
    return Answer(hub.service.DeviceStatus(std::string(serial)));
  }
  const HubFunction* function = FindHubFunction(rest);
  const bool last_fiscal = rest == "consultarultimasessaofiscal";
  if (function == nullptr && !last_fiscal) {
    return ErrorResponse(404, "Função desconhecida: " + std::string(rest) + ".");
  }
  if (request.method != "POST") return ErrorResponse(405, "Use POST.");
  Fields fields;
  if (auto refused = ReadFields(request.body, &fields)) return *refused;
  TillCall call;
  if (auto refused = ReadTillCall(hub, request, fields, &call)) return *refused;
  return Answer(last_fiscal ? hub.service.LastFiscalSession(call.till)
                            : hub.service.Call(*function, call.till, fields, call.key));
}

}  // namespace kovrad::hub
