#include "routes.h"

#include <nlohmann/json.hpp>

#include "auth.h"

namespace kovrad::hub {
namespace {

constexpr std::string_view kSathubPrefix = "/hub/v1/";
constexpr std::string_view kV1Prefix = "/v1/";
constexpr size_t kSmallBody = 64 * 1024;
// Form and JSON encodings at most triple a document's bytes (%XX, \uXXXX
// is rare in a sale); the rest of the fields is small.
constexpr size_t kLargeBody = 3 * kDocumentLimit + kSmallBody;
constexpr size_t kMaxKey = 128;

HttpResponse Health(const Hub& hub) {
  nlohmann::json devices = nlohmann::json::array();
  for (const auto& device : hub.service.devices()) {
    devices.push_back({{"serie", device->serial()},
                       {"fila", device->depth()},
                       {"processo", device->worker_pid()}});
  }
  return {200, nlohmann::json{{"estado", "ok"}, {"dispositivos", devices}}.dump()};
}

}  // namespace

size_t BodyLimit(const std::string& path) {
  std::string_view name = path;
  if (name.starts_with(kSathubPrefix)) {
    name.remove_prefix(kSathubPrefix.size());
  } else if (name.starts_with(kV1Prefix)) {
    name.remove_prefix(kV1Prefix.size());
  }
  const HubFunction* function = FindHubFunction(name);
  return function != nullptr && function->large ? kLargeBody : kSmallBody;
}

std::optional<HttpResponse> CheckAccess(const Hub& hub, const HttpRequest& request) {
  const Verdict verdict =
      Authorize(hub.config, request.client, request.Header("authorization"), std::nullopt);
  if (verdict.status != 0) return ErrorResponse(verdict.status, verdict.message);
  return std::nullopt;
}

std::optional<HttpResponse> ReadTillCall(const Hub& hub, const HttpRequest& request,
                                         const Fields& fields, TillCall* call) {
  std::string till;
  if (const auto field = fields.find("numero_caixa"); field != fields.end()) {
    till = field->second;
  } else {
    till = request.Header("numero_caixa");
    if (till.empty()) till = request.Header("numero-caixa");
  }
  if (till.empty()) return ErrorResponse(400, "Campo obrigatório ausente: numero_caixa.");
  if (!ParseTill(till, &call->till)) {
    return ErrorResponse(400, "Campo numero_caixa inválido: número de 0 a 999.");
  }
  const Verdict verdict =
      Authorize(hub.config, request.client, request.Header("authorization"), call->till);
  if (verdict.status != 0) return ErrorResponse(verdict.status, verdict.message);
  call->key = request.Header("idempotency-key");
  const bool printable =
      std::all_of(call->key.begin(), call->key.end(), [](char c) { return c > 0x20 && c < 0x7F; });
  if (call->key.size() > kMaxKey || !printable) {
    return ErrorResponse(400, "Idempotency-Key inválida: até 128 caracteres ASCII visíveis.");
  }
  return std::nullopt;
}

HttpResponse Route(const Hub& hub, const HttpRequest& request) {
  std::string_view path = request.path;
  if (path == "/health") return Health(hub);
  if (path == "/metrics") {
    if (auto refused = CheckAccess(hub, request)) return *refused;
    return {200, hub.metrics.Render(hub.service.Queues()), "text/plain; version=0.0.4"};
  }
  if (path.starts_with(kSathubPrefix)) {
    return SathubRoute(hub, request, path.substr(kSathubPrefix.size()));
  }
  if (path.starts_with(kV1Prefix)) {
    const std::string_view rest = path.substr(kV1Prefix.size());
    if (auto archived = ArchiveRoute(hub, request, rest)) return *archived;
    return V1Route(hub, request, rest);
  }
  return ErrorResponse(404, "Rota desconhecida: " + request.path);
}

}  // namespace kovrad::hub
