// Sales from data: POST /v1/vendas takes the sale as JSON, checks it (422
// with every refusal) and sends it through the ledger like any sale; POST
// /v1/vendas/<chave>/cancelamento builds the cancellation from the stored
// sale. Both answer with the coupon's key, number, date, total, QR-code
// content and the coupon itself.
#include "routes.h"

#include <nlohmann/json.hpp>

#include "cfe/json_reader.h"
#include "cfe/xml_writer.h"
#include "client/recovery.h"
#include "client/reply_line.h"
#include "client/text.h"
#include "coupon.h"

namespace kovrad::hub {
namespace {

using nlohmann::json;

constexpr std::string_view kSales = "vendas";
constexpr std::string_view kCancellation = "/cancelamento";
// The ledger keeps, with a sale made here, what its cancellation needs.
constexpr char kCancellationField[] = "cancelamento";

HttpResponse Refused(const cfe::Refusals& refusals) {
  json list = json::array();
  for (const cfe::Refusal& r : refusals) {
    list.push_back({{"campo", r.path}, {"codigo", r.code}, {"mensagem", r.message}});
  }
  return {422, json{{"erro", "Documento recusado antes do envio ao SAT: nada foi enviado."},
                    {"recusas", list}}
                   .dump()};
}

// The identity a cancellation repeats: the software house, the till and the
// buyer of the sale.
std::string CancellationIdentity(const cfe::Sale& sale) {
  return json{{"ide",
               {{"CNPJ", sale.ide.CNPJ},
                {"signAC", sale.ide.signAC},
                {"numeroCaixa", sale.ide.numeroCaixa}}},
              {"dest", {{"CNPJ", sale.dest.CNPJ}, {"CPF", sale.dest.CPF}}}}
      .dump();
}

// A byte the device sent that is not UTF-8 becomes U+FFFD rather than an
// exception.
std::string Dump(const json& body) {
  return body.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string Field(const std::string& reply, size_t index) {
  const std::vector<std::string> fields = client::SplitFields(reply);
  return index < fields.size() ? fields[index] : std::string();
}

// The device's answer: 201 with the coupon when it signed (200 for a repeat
// by idempotency key), 422 with its rejection when it refused, 502 when
// what it did is not known.
HttpResponse Answer(const Outcome& outcome, const char* signed_code) {
  if (outcome.status != 200) return ErrorResponse(outcome.status, outcome.message);
  const std::string code = Field(outcome.reply, 1);
  json body = {{"funcao", outcome.function},
               {"sessao", outcome.session},
               {"recuperada", outcome.recovered},
               {"repetida", outcome.repeated},
               {"codigo", code},
               {"retorno", client::DecodeReply(outcome.reply)}};
  receipt::Coupon coupon;
  std::string problem;
  if (code == signed_code && receipt::ReadCoupon(outcome.reply, &coupon, &problem)) {
    body["chave"] = "CFe" + coupon.key;
    body["numero"] = coupon.number;
    body["data"] = coupon.date + coupon.time;
    body["total"] = coupon.total;
    body["qrcode"] = receipt::QrContent(coupon);
    body["cfe"] = client::DecodeReply(client::CouponOf(outcome.reply));
    return {outcome.repeated ? 200 : 201, Dump(body)};
  }
  if (code.size() == 5 && code.ends_with("000")) {
    body["erro"] = "O SAT respondeu sem o cupom: " + problem;
    return {502, Dump(body)};
  }
  const bool refused = code.size() == 5 && !code.ends_with("099");
  const bool sale = outcome.function == "EnviarDadosVenda";
  // Sale replies: session|code|alert|message|cod|SEFAZ message; others: no alert.
  body["erro"] = client::DecodeReply(Field(outcome.reply, sale ? 3 : 2));
  body["recusas"] =
      json::array({{{"campo", ""},
                    {"codigo", Field(outcome.reply, sale ? 4 : 3)},
                    {"mensagem", client::DecodeReply(Field(outcome.reply, sale ? 5 : 4))}}});
  return {refused ? 422 : 502, Dump(body)};
}

// numeroCaixa as the hub names tills: "001" is till 1. The check has made
// sure it is three digits.
std::string TillNumber(const std::string& numero_caixa) {
  const size_t first = numero_caixa.find_first_not_of('0');
  return first == std::string::npos ? "0" : numero_caixa.substr(first);
}

HttpResponse Sell(const Hub& hub, const HttpRequest& request) {
  const cfe::Prepared prepared = cfe::PrepareSaleJson(request.body);
  if (!prepared.refusals.empty()) return Refused(prepared.refusals);
  cfe::Sale sale;
  cfe::Refusals ignored;
  cfe::ReadSale(request.body, &sale, &ignored);
  Fields fields = {{"dados_venda", prepared.xml},
                   {"numero_caixa", TillNumber(sale.ide.numeroCaixa)},
                   {kCancellationField, CancellationIdentity(sale)}};
  TillCall call;
  if (auto refused = ReadTillCall(hub, request, fields, &call)) return *refused;
  return Answer(hub.service.Call(*FindHubFunction("enviardadosvenda"), call.till, fields, call.key),
                "06000");
}

HttpResponse Cancel(const Hub& hub, const HttpRequest& request, const std::string& key) {
  const auto sale = hub.service.FindSale(key);
  if (!sale) return ErrorResponse(404, "Venda " + key + " não registrada neste hub.");
  const json stored = json::parse(sale->request, nullptr, false);
  const auto identity = stored.is_object() ? stored.find(kCancellationField) : stored.end();
  if (identity == stored.end() || !identity->is_string()) {
    return ErrorResponse(409, "A venda " + key +
                                  " não foi feita por /v1/vendas: cancele-a por "
                                  "/v1/cancelarultimavenda com o documento de cancelamento.");
  }
  json document = json::parse(identity->get<std::string>(), nullptr, false);
  if (!document.is_object()) return ErrorResponse(500, "Registro da venda " + key + " ilegível.");
  document["chCanc"] = key;
  const cfe::PreparedCancellation prepared = cfe::PrepareCancellationJson(document.dump());
  if (!prepared.refusals.empty()) return Refused(prepared.refusals);
  Fields fields = {{"chave_cfe", key},
                   {"dados_cancelamento", prepared.xml},
                   {"numero_caixa", std::to_string(sale->record.till)}};
  TillCall call;
  if (auto refused = ReadTillCall(hub, request, fields, &call)) return *refused;
  return Answer(
      hub.service.Call(*FindHubFunction("cancelarultimavenda"), call.till, fields, call.key),
      "07000");
}

}  // namespace

bool IsSalesRoute(std::string_view rest) {
  return rest == kSales || rest.starts_with(std::string(kSales) + "/");
}

HttpResponse SalesRoute(const Hub& hub, const HttpRequest& request, std::string_view rest) {
  if (request.method != "POST") return ErrorResponse(405, "Use POST.");
  if (rest == kSales) return Sell(hub, request);
  std::string_view key = rest.substr(kSales.size() + 1);
  if (!key.ends_with(kCancellation)) return ErrorResponse(404, "Rota desconhecida.");
  key.remove_suffix(kCancellation.size());
  const bool well_formed = key.size() == 47 && key.starts_with("CFe") &&
                           key.find_first_not_of("0123456789", 3) == std::string_view::npos;
  if (!well_formed) {
    return ErrorResponse(400, "Chave inválida: \"CFe\" seguido dos 44 dígitos da chave de acesso.");
  }
  return Cancel(hub, request, std::string(key));
}

}  // namespace kovrad::hub
