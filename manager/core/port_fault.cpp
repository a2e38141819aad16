#include "core/port_fault.h"

#include <unistd.h>

#include <vector>

#include "client/port_check.h"

namespace kovrad::manager {

PortFinding ExaminePort() {
  PortFinding finding;
  const std::vector<std::string> ports = client::SatPorts();
  if (ports.empty()) {
    finding.fault = PortFinding::Fault::kNoDevice;
    return finding;
  }
  finding.path = client::DevicePath(ports.front());
  if (access(finding.path.c_str(), F_OK) != 0) {
    finding.fault = PortFinding::Fault::kGone;
  } else if (access(finding.path.c_str(), R_OK | W_OK) != 0) {
    finding.fault = PortFinding::Fault::kPermission;
  } else {
    finding.holder = client::PortHolder(finding.path);
    finding.fault = finding.holder.empty() ? PortFinding::Fault::kOther : PortFinding::Fault::kHeld;
  }
  return finding;
}

std::string PortHint(const PortFinding& finding) {
  switch (finding.fault) {
    case PortFinding::Fault::kNoDevice:
      return "Causa provável: nenhum SAT foi encontrado na USB. Verifique se o cabo USB está "
             "conectado e se o SAT está ligado; se estiver, troque o cabo ou a entrada USB e "
             "tente de novo.";
    case PortFinding::Fault::kGone:
      return "Causa provável: a porta " + finding.path +
             " do SAT sumiu (o SAT foi desconectado ou reiniciou). Reconecte o cabo USB, espere "
             "o SAT iniciar e tente de novo.";
    case PortFinding::Fault::kPermission:
      return "Causa provável: este usuário não tem permissão para usar a porta " + finding.path +
             " do SAT. Peça ao responsável pelo computador para colocar o usuário no grupo "
             "dialout (com a regra udev do SAT instalada) e entre de novo no sistema.";
    case PortFinding::Fault::kHeld:
      return "Causa provável: a porta " + finding.path +
             " do SAT está em uso por outro programa: " + finding.holder +
             ". Feche esse programa (ou espere ele terminar) e tente de novo.";
    case PortFinding::Fault::kOther:
      break;
  }
  return "Causa provável: a porta " + finding.path +
         " do SAT estava ocupada ou o SAT se desconectou durante a chamada. Tente de novo.";
}

}  // namespace kovrad::manager
