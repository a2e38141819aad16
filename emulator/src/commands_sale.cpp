// Sales: EnviarDadosVenda, CancelarUltimaVenda and TesteFimAFim. The device
// checks the host's document, computes and signs the coupon, and answers in
// each function's reply layout.
#include <random>

#include "cancellation_document.h"
#include "coupon.h"
#include "device.h"
#include "link.h"
#include "sale_document.h"
#include "sale_totals.h"
#include "text.h"
#include "zlib_stream.h"

namespace satemu {
namespace {

// A sale family: its result for each lock state (by operating state 1-4),
// the code and message of a document the device will not sign, and the
// message of case 099, a failure of the device itself.
struct SaleFamily {
  Family family;
  std::string_view locked[4];
  std::string_view invalid;
  std::string_view invalid_message;
  std::string_view unknown_message;
};

constexpr SaleFamily kSale{{"06", "002", Layout::kSale},
                           {"007", "006", "008", "007"},
                           "010",
                           "Erro de validação do conteúdo",
                           "Erro desconhecido na emissão"};
// Case 002 of the cancellation family is "invalid coupon".
constexpr SaleFamily kCancellation{{"07", "099", Layout::kSale},
                                   {"004", "003", "005", "004"},
                                   "007",
                                   "Erro de validação do conteúdo",
                                   "Erro desconhecido no cancelamento"};
constexpr SaleFamily kEndToEnd{
    {"09"}, {"099", "099", "099", "099"}, "099", "Erro desconhecido", "Erro desconhecido"};

constexpr std::string_view kLockMessages[] = {
    "SAT bloqueado pela SEFAZ",
    "SAT bloqueado pelo contribuinte",
    "SAT bloqueado por falta de comunicação",
    "SAT bloqueado para desativação",
};

constexpr char kAlert[] = "0000";
constexpr char kKeyPrefix[] = "CFe";
// A cancellation comes within this long of the sale.
constexpr std::time_t kCancellationWindow = 30 * 60;
// The longest reply text the host takes.
constexpr size_t kMaxReplyText = 2 * 1024 * 1024;

// The refusal the device's state calls for; the activation code is the
// payload up to its first "|" (the sale payload is binary after it).
std::optional<Reply> StateRefusal(Device& device, const Request& request, const SaleFamily& sale) {
  const std::string_view code =
      std::string_view(request.payload).substr(0, std::string_view(request.payload).find('|'));
  if (auto refusal = device.Refusal(request, code, sale.family, Access::kActivated)) {
    return refusal;
  }
  const int lock = device.state().lock;
  if (lock >= kLockSefaz && lock <= kLockDeactivation) {
    return Refuse(request, sale.family, sale.locked[lock - 1], kLockMessages[lock - 1]);
  }
  return std::nullopt;
}

// A document the device will not sign: the family's code, and the reason in
// the SEFAZ message field.
Reply Invalid(const Request& request, const SaleFamily& sale, std::string_view reason) {
  const std::string code = std::string(sale.family.prefix) + std::string(sale.invalid);
  std::string rejection, text;
  SplitRejection(reason, &rejection, &text);
  const std::string why = "Rejeição: " + Printable(text, 400);
  if (sale.family.layout == Layout::kSale) {
    return Fields(request, code, {kAlert, sale.invalid_message, rejection, why});
  }
  return Fields(request, code, {sale.invalid_message, rejection, why});
}

Reply Unknown(const Request& request, const SaleFamily& sale, std::string_view error) {
  return Refuse(request, sale.family, "099",
                std::string(sale.unknown_message) + ": " + Printable(error, 200));
}

bool Associated(const DeviceState& s) {
  return !s.software_house_cnpj.empty() && !s.signature.empty();
}

// Issues a coupon with `issue` under a fresh random code. A key is read from
// a reply as the first "CFe" in it, so the code is drawn again while the
// coupon's Base64 happens to hold those letters ahead of the real key.
template <typename Issue>
bool IssueCoupon(Device& device, int number, Issue issue, Coupon* coupon, std::string* base64,
                 std::string* error) {
  const SigningKey* key = device.signing_key();
  if (key == nullptr) return *error = "chave de assinatura indisponível", false;
  static std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<int> code(0, 999999);
  const Issuer issuer{device.state(), device.serial(), *key};
  for (int attempt = 0; attempt < 64; ++attempt) {
    if (!issue(issuer, Stamp{number, code(random), device.Now()}, coupon, error)) return false;
    *base64 = Base64Encode(coupon->xml);
    if (base64->find(kKeyPrefix) == std::string::npos) break;
  }
  return true;
}

// Checks a sale document as the device does before signing, computes it and
// issues its coupon as number `number`; the refusal otherwise.
std::optional<Reply> SignSale(Device& device, const Request& request, const SaleFamily& family,
                              std::string_view document, int number, Coupon* coupon,
                              std::string* base64, std::string* emitter_ie) {
  const DeviceState& s = device.state();
  Sale sale;
  SaleTotals totals;
  std::string error;
  if (!ReadSale(document, &sale, &error)) return Invalid(request, family, error);
  if (sale.software_house_cnpj != s.software_house_cnpj || sale.signature != s.signature) {
    if (family.family.layout == Layout::kSale) {
      return Refuse(request, family.family, "004", "Vinculação do AC não confere");
    }
    return Invalid(request, family, "vinculação do AC não confere");
  }
  if (sale.emitter_cnpj != s.taxpayer_cnpj) {
    return Invalid(request, family,
                   std::string(rejection::kEmitterNotDevice) +
                       " CNPJ do emitente difere do contribuinte do SAT");
  }
  if (!s.taxpayer.ie.empty() && sale.emitter_ie != s.taxpayer.ie) {
    return Invalid(
        request, family,
        std::string(rejection::kEmitterIe) + " IE do emitente difere da registrada no SAT");
  }
  if (!ComputeTotals(sale.values, &totals, &error)) return Invalid(request, family, error);
  const auto issue = [&](const Issuer& issuer, const Stamp& stamp, Coupon* out, std::string* why) {
    return IssueSale(sale, totals, issuer, stamp, out, why);
  };
  if (!IssueCoupon(device, number, issue, coupon, base64, &error)) {
    return Unknown(request, family, error);
  }
  *emitter_ie = sale.emitter_ie;
  return std::nullopt;
}

int NextNumber(uint64_t last) {
  return static_cast<int>(last % 999999 + 1);
}

// The coupon's fields after the Base64 coupon in a sale or cancellation reply.
std::string CouponFields(const Coupon& coupon) {
  return coupon.timestamp + "|" + kKeyPrefix + coupon.key + "|" + coupon.total + "|" +
         coupon.buyer + "|" + coupon.qr_signature;
}

Reply EnviarDadosVenda(Device& device, const Request& request) {
  if (auto refusal = StateRefusal(device, request, kSale)) return *refusal;
  // The payload: the code, "|", the stream's length (4 bytes, LSB first), the stream.
  const std::string_view payload = request.payload;
  const size_t bar = payload.find('|');
  if (bar == std::string_view::npos || payload.size() < bar + 5) {
    return Invalid(request, kSale, "dados de venda ausentes");
  }
  const size_t length = ReadLe32(reinterpret_cast<const uint8_t*>(payload.data()) + bar + 1);
  const std::string_view stream = payload.substr(bar + 5);
  if (stream.size() != length) {
    return Invalid(request, kSale,
                   "tamanho dos dados compactados não confere (" + std::to_string(length) +
                       " anunciados, " + std::to_string(stream.size()) + " recebidos)");
  }
  DeviceState& s = device.state();
  if (!Associated(s)) return Refuse(request, kSale.family, "003", "SAT não vinculado ao AC");
  std::string document;
  switch (Expand(stream, kMaxSaleDocument, &document)) {
    case Expansion::kTooLarge:
      return Refuse(request, kSale.family, "005", "Tamanho do CF-e-SAT superior a 1.500KB");
    case Expansion::kDamaged:
      return Invalid(request, kSale, "dados de venda compactados inválidos");
    case Expansion::kDone:
      break;
  }
  Coupon coupon;
  std::string base64, emitter_ie;
  const int number = NextNumber(s.last_coupon_number);
  if (auto refusal =
          SignSale(device, request, kSale, document, number, &coupon, &base64, &emitter_ie)) {
    return *refusal;
  }
  // Six fields, then the rest of the line compressed behind its length.
  Reply reply =
      Fields(request, "06000", {kAlert, "Emitido com sucesso + conteúdo notas", "", "", ""});
  const std::string rest = base64 + "|" + CouponFields(coupon);
  const std::string compressed = Compress(rest);
  if (compressed.empty()) return Unknown(request, kSale, "compactação");
  reply.remembered = reply.line + rest;
  for (int i = 0; i < 4; ++i) reply.line += static_cast<char>(compressed.size() >> (8 * i));
  reply.line += compressed;

  s.last_coupon_number = number;
  Count(&s.coupons_issued);
  s.last_sale = {coupon.key, coupon.timestamp, coupon.total, coupon.buyer, emitter_ie};
  s.last_coupon_key = coupon.key;
  s.last_contact = coupon.timestamp;
  device.Transmit(coupon.timestamp);
  device.Record("VENDA", "CF-e " + coupon.key + " emitido, total " + coupon.total);
  return reply;
}

// The sale must be the last one, still within the window for cancelling it.
bool Cancellable(const DeviceState& s, std::string_view key, std::time_t now) {
  std::tm issued{};
  const std::string& time = s.last_sale.time;
  if (s.last_sale.key.empty() || key != s.last_sale.key || time.size() != 14 ||
      strptime(time.c_str(), "%Y%m%d%H%M%S", &issued) == nullptr) {
    return false;
  }
  issued.tm_isdst = -1;
  const std::time_t at = std::mktime(&issued);
  return at != -1 && now >= at && now - at <= kCancellationWindow;
}

Reply CancelarUltimaVenda(Device& device, const Request& request) {
  if (auto refusal = StateRefusal(device, request, kCancellation)) return *refusal;
  const auto fields = SplitFields(request.payload, 3);
  std::string_view key = fields.size() > 1 ? fields[1] : std::string_view();
  if (key.starts_with(kKeyPrefix)) key.remove_prefix(sizeof kKeyPrefix - 1);
  DeviceState& s = device.state();
  if (!Cancellable(s, key, device.Now())) {
    return Refuse(request, kCancellation.family, "002", "Cupom inválido");
  }
  Cancellation cancellation;
  std::string error;
  if (!ReadCancellation(fields.size() > 2 ? fields[2] : std::string_view(), &cancellation,
                        &error)) {
    return Invalid(request, kCancellation, error);
  }
  if (cancellation.key != key) {
    return Invalid(request, kCancellation, "chCanc difere da chave do cupom a cancelar");
  }
  if (cancellation.software_house_cnpj != s.software_house_cnpj ||
      cancellation.signature != s.signature) {
    return Invalid(request, kCancellation, "vinculação do AC não confere");
  }
  if (!cancellation.buyer.empty() && cancellation.buyer != s.last_sale.buyer) {
    return Invalid(request, kCancellation, "destinatário difere do da venda");
  }

  Coupon coupon;
  std::string base64;
  const int number = NextNumber(s.last_coupon_number);
  const LastSale sale = s.last_sale;
  const auto issue = [&](const Issuer& issuer, const Stamp& stamp, Coupon* out, std::string* why) {
    return IssueCancellation(cancellation, sale, issuer, stamp, out, why);
  };
  if (!IssueCoupon(device, number, issue, &coupon, &base64, &error)) {
    return Unknown(request, kCancellation, error);
  }
  s.last_coupon_number = number;
  Count(&s.coupons_cancelled);
  s.last_sale = {};
  s.last_coupon_key = coupon.key;
  s.last_contact = coupon.timestamp;
  device.Transmit(coupon.timestamp);
  device.Record("CANCELAMENTO", "CF-e " + sale.key + " cancelado pelo CF-e " + coupon.key);
  const std::string fields_after = base64 + "|" + CouponFields(coupon);
  return Fields(
      request, "07000",
      {kAlert, "Cupom cancelado com sucesso + conteúdo CF-e-SAT cancelado", "", "", fields_after});
}

Reply TesteFimAFim(Device& device, const Request& request) {
  if (auto refusal = StateRefusal(device, request, kEndToEnd)) return *refusal;
  const auto fields = SplitFields(request.payload, 2);
  const std::string_view document = fields.size() > 1 ? fields[1] : std::string_view();
  DeviceState& s = device.state();
  if (!Associated(s)) return Invalid(request, kEndToEnd, "SAT não vinculado ao AC");
  if (document.size() > kMaxSaleDocument) {
    return Invalid(request, kEndToEnd, "tamanho do CF-e-SAT superior a 1.500KB");
  }
  Coupon coupon;
  std::string base64, emitter_ie;
  const int number = NextNumber(s.last_test_number);
  if (auto refusal =
          SignSale(device, request, kEndToEnd, document, number, &coupon, &base64, &emitter_ie)) {
    return *refusal;
  }
  char document_number[8];
  std::snprintf(document_number, sizeof document_number, "%06d", number);
  Reply reply = Fields(request, "09000",
                       {"Emitido com sucesso", "", "", base64, coupon.timestamp, document_number,
                        kKeyPrefix + coupon.key});
  if (reply.line.size() > kMaxReplyText) {
    return Invalid(request, kEndToEnd, "cupom de teste grande demais para a resposta");
  }
  s.last_test_number = number;
  s.last_contact = coupon.timestamp;
  return reply;
}

}  // namespace

void AddSales(CommandTable& table) {
  table["EnviarDadosVenda"] = EnviarDadosVenda;
  table["CancelarUltimaVenda"] = CancelarUltimaVenda;
  table["TesteFimAFim"] = TesteFimAFim;
}

}  // namespace satemu
