// The shared object's constructor and destructor run the load and unload steps.
#include "module.h"

namespace {
__attribute__((constructor)) void Load() {
  kovrad::CarregaBiblioteca();
}
__attribute__((destructor)) void Unload() {
  kovrad::DescarregaBiblioteca();
}
}  // namespace
