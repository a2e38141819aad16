// Module state and the load and unload steps.
#include "module.h"

#include "log.h"
#include "serial_link.h"

namespace kovrad {
namespace {
Module module;
}

Module& State() {
  return module;
}

void CarregaBiblioteca() {
  module.port = platform::kNoPort;
  module.random_state = 1;
  platform::CreateDiscoveryLock();
  GravaLog(VersaoLib());
}

void DescarregaBiblioteca() {
  FechaPorta();
}

}  // namespace kovrad
