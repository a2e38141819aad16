// The hub's HTTP routes: /hub/v1/<function> (form fields, answered with the
// device's reply line), /v1/ (JSON, replies split into named fields),
// /health and /metrics.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "auth.h"
#include "archive/archive.h"
#include "config.h"
#include "http_server.h"
#include "metrics.h"
#include "service.h"

namespace kovrad::hub {

class Chain;

struct Hub {
  const Config& config;
  Service& service;
  Metrics& metrics;
  const Chain* chain = nullptr;  // shipping and the devices' health, for the console
  archive::Archive* archive = nullptr;  // the ledger's coupons, read on a connection of their own
};

HttpResponse Route(const Hub& hub, const HttpRequest& request);
// Whether the caller may send the request, judged on its headers before its
// body is read (the till it speaks for may be named in the body: that is
// checked once it is read).
std::optional<HttpResponse> Admit(const Hub& hub, const HttpRequest& request);

// The largest body `path` takes: a sale document at the library's limit,
// encoded, for the functions that carry documents; little for the rest.
size_t BodyLimit(const std::string& path);

// Shared by both APIs.
struct TillCall {
  int till = -1;
  std::string key;  // Idempotency-Key, empty when none
};
// The till (field or header numero_caixa) and the idempotency key, checked,
// and the caller let in for that till; the refusal otherwise.
std::optional<HttpResponse> ReadTillCall(const Hub& hub, const HttpRequest& request,
                                         const Fields& fields, TillCall* call,
                                         Role role = Role::kTill);
// Requests that speak for no till: any token.
std::optional<HttpResponse> CheckAccess(const Hub& hub, const HttpRequest& request);
// Who may call the function of that route name.
Role FunctionRole(std::string_view route);
// The worker's process id, or null while none runs.
nlohmann::json WorkerProcessId(const Device& device);

HttpResponse SathubRoute(const Hub& hub, const HttpRequest& request, std::string_view name);
// POST /v1/vendas and /v1/vendas/<chave>/cancelamento: sales from their JSON.
bool IsSalesRoute(std::string_view rest);
HttpResponse SalesRoute(const Hub& hub, const HttpRequest& request, std::string_view rest);
HttpResponse V1Route(const Hub& hub, const HttpRequest& request, std::string_view rest);
// /v1/cfe... and /v1/exportacoes/...; nothing for other paths.
std::optional<HttpResponse> ArchiveRoute(const Hub& hub, const HttpRequest& request,
                                         std::string_view rest);

}  // namespace kovrad::hub
