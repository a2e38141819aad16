// Module state and the load and unload steps of the shared object.
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

namespace {

__attribute__((constructor)) void Load() {
  module.port = platform::kNoPort;
  module.random_state = 1;
  GravaLog(VersaoLib());
}

__attribute__((destructor)) void Unload() {
  FechaPorta();
}

}  // namespace
}  // namespace kovrad
