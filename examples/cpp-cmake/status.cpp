// Asks the device whether it is working and for its operating status, as a
// till does when it starts. Exit status 0 when both answers are successes.
#include <kovrad.h>

#include <cstdio>
#include <string>

namespace {

// Field 2 of a reply line: the device's result code.
std::string ResultCode(const std::string& reply) {
  const size_t first = reply.find('|');
  if (first == std::string::npos) return {};
  return reply.substr(first + 1, reply.find('|', first + 1) - first - 1);
}

bool Ask(const char* what, const std::string& reply, const char* success) {
  std::printf("%s: %s\n", what, reply.c_str());
  if (CodigoErro().code != __NOERROR__) {
    std::printf("%s: no reply from the device (link error %d)\n", what, CodigoErro().code);
    return false;
  }
  return ResultCode(reply) == success;
}

}  // namespace

int main(int argc, char** argv) {
  const char* code = argc > 1 ? argv[1] : "12345678";
  // Copy each reply at once: the library reuses its buffer on the next call.
  const std::string status = ConsultarSAT(GeraNumeroSessao());
  bool ok = Ask("ConsultarSAT", status, "08000");
  const std::string operation = ConsultarStatusOperacional(GeraNumeroSessao(), code);
  ok = Ask("ConsultarStatusOperacional", operation, "10000") && ok;
  return ok ? 0 : 1;
}
