#include "routes.h"

#include <algorithm>
#include <iterator>

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

std::optional<HttpResponse> Refuse(const Hub& hub, const Verdict& verdict) {
  if (verdict.status == 0) return std::nullopt;
  hub.metrics.Refusal(verdict.status == 403 ? "papel" : "autenticacao");
  return ErrorResponse(verdict.status, verdict.message);
}

// The function's route name, for both APIs; empty for other paths.
std::string_view FunctionRoute(std::string_view path) {
  if (path.starts_with(kSathubPrefix)) return path.substr(kSathubPrefix.size());
  if (path.starts_with(kV1Prefix)) return path.substr(kV1Prefix.size());
  return {};
}

}  // namespace

nlohmann::json WorkerProcessId(const Device& device) {
  const pid_t pid = device.worker_pid();
  return pid > 0 ? nlohmann::json(pid) : nlohmann::json(nullptr);
}

Role FunctionRole(std::string_view route) {
  // What sets the device up or takes it from the tills: the store's
  // administrator's, never a till's.
  static constexpr std::string_view kAdministrative[] = {
      "ativarsat",
      "comunicarcertificadoicpbrasil",
      "associarassinatura",
      "trocarcodigodeativacao",
      "bloquearsat",
      "desbloquearsat",
      "configurarinterfacederede",
      "atualizarsoftwaresat",
      "extrairlogs",
  };
  return std::find(std::begin(kAdministrative), std::end(kAdministrative), route) !=
                 std::end(kAdministrative)
             ? Role::kAdministrator
             : Role::kTill;
}

std::optional<HttpResponse> Admit(const Hub& hub, const HttpRequest& request) {
  const std::string& path = request.path;
  if (path == "/health") return std::nullopt;
  const std::string_view route = FunctionRoute(path);
  const bool reader = path == "/metrics" || route == "devices" || route.starts_with("devices/");
  Access access;
  if (reader) {
    access.role = Role::kReader;
  } else if (!route.empty()) {
    access.role = FunctionRole(route);
  } else {
    return std::nullopt;  // an unknown route: 404
  }
  return Refuse(hub,
                Authorize(hub.config, request.client, request.Header("authorization"), access));
}

size_t BodyLimit(const std::string& path) {
  const std::string_view route = FunctionRoute(path);
  const HubFunction* function = FindHubFunction(route);
  const bool large = function != nullptr ? function->large : route == "vendas";
  return large ? kLargeBody : kSmallBody;
}

std::optional<HttpResponse> CheckAccess(const Hub& hub, const HttpRequest& request) {
  return Refuse(hub, Authorize(hub.config, request.client, request.Header("authorization"),
                               {Role::kReader, std::nullopt}));
}

std::optional<HttpResponse> ReadTillCall(const Hub& hub, const HttpRequest& request,
                                         const Fields& fields, TillCall* call, Role role) {
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
  if (auto refused = Refuse(hub, Authorize(hub.config, request.client,
                                           request.Header("authorization"), {role, call->till}))) {
    return refused;
  }
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
  // Whether the hub is up, for anyone; the devices' state needs a token.
  if (path == "/health") return {200, nlohmann::json{{"estado", "ok"}}.dump()};
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
