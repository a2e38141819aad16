#include "core/fault_hint.h"

#include "core/port_fault.h"
#include "core/replies.h"
#include "kovrad.h"

namespace kovrad::manager {
namespace {

constexpr char kHintUnknownCommand[] =
    "Causa provável: o SAT respondeu algo que este programa não entende. Desligue e ligue o SAT "
    "e tente de novo; se continuar, atualize o software do SAT.";
constexpr char kHintSilent[] =
    "Causa provável: o SAT não respondeu a tempo (ocupado, travado ou desligado durante a "
    "chamada). Espere um minuto, confira se ele está ligado e tente de novo.";
constexpr char kHintNoCts[] =
    "Causa provável: a ligação com o SAT caiu ao enviar (cabo solto ou porta com defeito). "
    "Reconecte o cabo USB e tente de novo.";
constexpr char kHintWrongCode[] =
    "Causa provável: o código digitado não é o código de ativação deste SAT. Confira o código; "
    "se ele foi esquecido, use \"Esqueceu o código de ativação ?\" no início.";
constexpr char kHintNotActivated[] =
    "Causa provável: este SAT ainda não foi ativado. Escolha \"Trelix Produção (não ativado)\" no "
    "início e ative-o em \"Ativar SAT\".";

}  // namespace

std::optional<std::string> LinkFaultHint(int32_t link_code) {
  switch (link_code) {
    case __NOCONNECT__:
      return PortHint(ExaminePort());
    case __CMDUNKERROR__:
      return kHintUnknownCommand;
    case __TIMEOUT__:
      return kHintSilent;
    case __SEMCTS__:
      return kHintNoCts;
    default:
      return std::nullopt;
  }
}

std::optional<std::string> RefusalHint(std::string_view reply) {
  if (reply.find("Código de ativação inválido") != std::string_view::npos) return kHintWrongCode;
  if (reply.find("ainda não ativado") != std::string_view::npos) return kHintNotActivated;
  return std::nullopt;
}

std::string WithHint(std::string message, const std::optional<std::string>& hint) {
  if (hint) message += "\n" + *hint;
  return message;
}

std::string RetryReason(std::string_view reply) {
  if (reply.find("Timeout") != std::string_view::npos) return "o SAT não respondeu em 20 s";
  if (reply.find(kPortFailureLine) != std::string_view::npos) return "a porta do SAT não abriu";
  if (reply.find("pronta") != std::string_view::npos) return "o SAT ainda não está pronto";
  return {};
}

std::string StatusFailureHint(std::string_view reply) {
  if (reply.find("Timeout") != std::string_view::npos) {
    return "O SAT não respondeu às 4 consultas: confira se ele está ligado e conectado, espere "
           "um minuto e toque em atualizar.";
  }
  if (reply.find(kPortFailureLine) != std::string_view::npos) return PortHint(ExaminePort());
  return "O SAT não ficou pronto: espere ele terminar de iniciar e tente de novo.";
}

}  // namespace kovrad::manager
