// Sales: EnviarDadosVenda, CancelarUltimaVenda and TesteFimAFim. For now the
// device refuses what its state calls for (not activated, wrong code, locked)
// and does not issue coupons yet.
#include "device.h"

namespace satemu {
namespace {

// A sale family and its result for each lock state (by operating state 1-4).
struct SaleFamily {
  Family family;
  std::string_view locked[4];
};

constexpr SaleFamily kSale{{"06", "002", Layout::kSale}, {"007", "006", "008", "007"}};
// Case 002 of the cancellation family is "invalid coupon".
constexpr SaleFamily kCancellation{{"07", "099", Layout::kSale}, {"004", "003", "005", "004"}};
constexpr SaleFamily kEndToEnd{{"09"}, {"099", "099", "099", "099"}};

constexpr std::string_view kLockMessages[] = {
    "SAT bloqueado pela SEFAZ",
    "SAT bloqueado pelo contribuinte",
    "SAT bloqueado por falta de comunicação",
    "SAT bloqueado para desativação",
};

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

Reply NotIssuing(const Request& request, const SaleFamily& sale) {
  return Refuse(request, sale.family, "099", "Emissão de CF-e ainda não disponível neste SAT");
}

Reply EnviarDadosVenda(Device& device, const Request& request) {
  return StateRefusal(device, request, kSale).value_or(NotIssuing(request, kSale));
}

Reply CancelarUltimaVenda(Device& device, const Request& request) {
  return StateRefusal(device, request, kCancellation).value_or(NotIssuing(request, kCancellation));
}

Reply TesteFimAFim(Device& device, const Request& request) {
  return StateRefusal(device, request, kEndToEnd).value_or(NotIssuing(request, kEndToEnd));
}

}  // namespace

void AddSales(CommandTable& table) {
  table["EnviarDadosVenda"] = EnviarDadosVenda;
  table["CancelarUltimaVenda"] = CancelarUltimaVenda;
  table["TesteFimAFim"] = TesteFimAFim;
}

}  // namespace satemu
