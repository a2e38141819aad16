// POST /v1/cfe/<chave>/imprimir: an archived coupon's extrato printed on a
// till's printer, or on one named by an administrator.
#include "archive/document.h"
#include "printing.h"
#include "routes.h"

namespace kovrad::hub {
namespace {

constexpr std::string_view kCoupons = "cfe/";
constexpr std::string_view kPrint = "/imprimir";

}  // namespace

bool IsPrintRoute(std::string_view rest) {
  return rest.starts_with(kCoupons) && rest.ends_with(kPrint) &&
         rest.size() > kCoupons.size() + kPrint.size();
}

HttpResponse PrintRoute(const Hub& hub, const HttpRequest& request, std::string_view rest) {
  if (request.method != "POST") return ErrorResponse(405, "Use POST.");
  const std::string digits = archive::KeyDigits(
      rest.substr(kCoupons.size(), rest.size() - kCoupons.size() - kPrint.size()));
  if (digits.empty()) return ErrorResponse(400, "Chave de acesso inválida: CFe e 44 dígitos.");
  const std::string key = "CFe" + digits;
  Fields fields;
  if (auto refused = ReadFields(hub, request.body, &fields)) return *refused;
  PrintRequest print{key, "", -1, fields.contains("impressora") ? fields["impressora"] : ""};
  std::string error;
  archive::Entry entry;
  const archive::Read read = hub.archive->Find(key, &entry, &error);
  if (read == archive::Read::kNotFound) {
    return ErrorResponse(404, "CF-e " + key + " não está no arquivo.");
  }
  // Without a till named, the coupon's own till prints it.
  const bool named_till = fields.contains("numero_caixa") ||
                          !request.Header("numero_caixa").empty() ||
                          !request.Header("numero-caixa").empty();
  if (!named_till && read == archive::Read::kFound && entry.till >= 0) {
    fields["numero_caixa"] = std::to_string(entry.till);
  }
  // A till prints on its own printer; choosing another is the administrator's.
  TillCall call;
  const Role role = print.printer.empty() ? Role::kTill : Role::kAdministrator;
  if (auto refused = ReadTillCall(hub, request, fields, &call, role)) return *refused;
  print.till = call.till;
  if (hub.prints == nullptr) return ErrorResponse(503, "Impressão indisponível neste hub.");
  const archive::Read body = hub.archive->Xml(key, &print.xml, &error);
  if (body != archive::Read::kFound) {
    return ErrorResponse(500, "CF-e " + key + " não pôde ser lido do arquivo: " + error);
  }
  return PrintCoupon(hub.config.printers, *hub.prints, print);
}

}  // namespace kovrad::hub
