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
// numbers written in decimal. Read as it is parsed, so that nothing but the
// fields is ever held: a nested value, an array or a member too many stops
// the parse at once, whatever follows (a body of brackets costs nothing).
class FieldReader : public nlohmann::json_sax<json> {
 public:
  static constexpr size_t kMaxMembers = 64;
  explicit FieldReader(Fields* fields) : fields_(fields) {}

  bool null() override { return Wrong(); }
  bool boolean(bool) override { return Wrong(); }
  bool number_integer(number_integer_t n) override { return Take(std::to_string(n)); }
  bool number_unsigned(number_unsigned_t n) override { return Take(std::to_string(n)); }
  bool number_float(number_float_t, const string_t&) override { return Wrong(); }
  bool string(string_t& text) override { return Take(std::move(text)); }
  bool binary(binary_t&) override { return Wrong(); }
  bool start_object(std::size_t) override {
    if (opened_) return Wrong();
    opened_ = true;
    return true;
  }
  bool key(string_t& name) override {
    if (fields_->size() >= kMaxMembers) {
      problem_ = "O corpo tem mais de " + std::to_string(kMaxMembers) + " campos.";
      return false;
    }
    key_ = std::move(name);
    return true;
  }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return Wrong(); }
  bool end_array() override { return Wrong(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    if (problem_.empty()) problem_ = kNotObject;
    return false;
  }

  const std::string& problem() const { return problem_; }

 private:
  static constexpr char kNotObject[] = "O corpo deve ser um objeto JSON.";
  bool Take(std::string value) {
    if (!opened_) return Wrong();
    (*fields_)[key_] = std::move(value);
    return true;
  }
  bool Wrong() {
    problem_ = opened_ && !key_.empty() ? "Campo " + key_ + " inválido: texto ou número inteiro."
                                        : std::string(kNotObject);
    return false;
  }

  Fields* fields_;
  bool opened_ = false;
  std::string key_;
  std::string problem_;
};

std::optional<HttpResponse> ReadFields(const Hub& hub, const std::string& body, Fields* fields) {
  FieldReader reader(fields);
  const bool parsed = json::sax_parse(body.empty() ? std::string("{}") : body, &reader,
                                      json::input_format_t::json, true);
  if (parsed && reader.problem().empty()) return std::nullopt;
  hub.metrics.Refusal("json");
  return ErrorResponse(
      400, reader.problem().empty() ? "O corpo deve ser um objeto JSON." : reader.problem());
}

HttpResponse Devices(const Hub& hub) {
  json list = json::array();
  for (const auto& device : hub.service.devices()) {
    list.push_back({{"serie", device->serial()},
                    {"porta", "ttyACM" + std::to_string(device->port())},
                    {"processo", WorkerProcessId(*device)},
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
  if (IsSalesRoute(rest)) return SalesRoute(hub, request, rest);
  const HubFunction* function = FindHubFunction(rest);
  const bool last_fiscal = rest == "consultarultimasessaofiscal";
  if (function == nullptr && !last_fiscal) {
    return ErrorResponse(404, "Função desconhecida: " + std::string(rest) + ".");
  }
  if (request.method != "POST") return ErrorResponse(405, "Use POST.");
  Fields fields;
  if (auto refused = ReadFields(hub, request.body, &fields)) return *refused;
  TillCall call;
  if (auto refused = ReadTillCall(hub, request, fields, &call, FunctionRole(rest))) return *refused;
  return Answer(last_fiscal ? hub.service.LastFiscalSession(call.till)
                            : hub.service.Call(*function, call.till, fields, call.key));
}

}  // namespace kovrad::hub
