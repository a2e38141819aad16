// COMM_ERROR and the exports that only read or set the exchange's counters.
#include "error.h"

#include <cstring>

#include "module.h"

namespace kovrad {

void DefineErro(int32_t code, const char* message) {
  State().error.code = code;
  DefineMensagem(message);
}

void DefineMensagem(const char* message) {
  char* msg = State().error.msg;
  constexpr size_t kField = sizeof State().error.msg;
  std::memset(msg, 0, kField);
  std::memcpy(msg, message, strnlen(message, kField - 1));
}

}  // namespace kovrad

extern "C" KOVRAD_API COMM_ERROR KOVRAD_CALL CodigoErro(void) {
  const kovrad::LibraryLock lock;
  return kovrad::State().error;
}

extern "C" KOVRAD_API int32_t KOVRAD_CALL ConfiguraTimeout(int32_t) {
  return 0;
}
