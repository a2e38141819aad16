#include "sessions.h"

#include <cstdio>

namespace kovrad::hub {

bool IsFiscal(std::string_view function) {
  return function == "EnviarDadosVenda" || function == "CancelarUltimaVenda";
}

bool SameSession(std::string_view reply, int32_t session) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d", session);
  return reply.substr(0, reply.find('|')) == text;
}

std::string FailureLine(int32_t session, std::string_view message) {
  char head[24];
  std::snprintf(head, sizeof head, "%06d|9999|", session);
  return head + std::string(message);
}

}  // namespace kovrad::hub
