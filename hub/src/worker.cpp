#include "worker.h"

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <string>

#include "client/binding.h"
#include "client/functions.h"
#include "log.h"
#include "protocol.h"

namespace kovrad::hub {
namespace {

bool ToNumber(const std::string& text, int32_t* number) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *number);
  return ec == std::errc() && ptr == end;
}

// The reply to one request; a refusal of the request itself comes back as a
// failure line of the usual shape, so the hub handles every answer alike.
Message Serve(client::Library& library, const Message& request) {
  int32_t session = 0;
  const client::Function* function =
      request.size() >= 2 ? client::FindFunction(request[0]) : nullptr;
  if (function == nullptr || !ToNumber(request[1], &session) ||
      request.size() != function->arguments.size() + 2) {
    return {"000000|9999|Requisição inválida para o processo do dispositivo", "-1"};
  }
  client::Arguments arguments(function->arguments.size());
  for (size_t i = 0; i < function->arguments.size(); ++i) {
    const std::string& value = request[i + 2];
    if (function->arguments[i].kind == client::Kind::kInteger) {
      int32_t number = 0;
      if (!ToNumber(value, &number)) return {"000000|9999|Argumento numérico inválido", "-1"};
      arguments.SetNumber(i, number);
    } else {
      arguments.SetText(i, value);
    }
  }
  const client::Reply outcome = function->call(library, session, arguments);
  if (!outcome.called) return {"000000|9999|" + outcome.problem, "-1"};
  std::string problem;
  const auto record = library.ErrorRecord(&problem);
  return {outcome.text, std::to_string(record ? record->code : -1)};
}

}  // namespace

int RunWorker(int fd, int port) {
  client::Library library;
  std::string problem;
  auto* select =
      reinterpret_cast<decltype(::AbreSerialSAT)*>(library.Lookup("AbreSerialSAT", &problem));
  if (select == nullptr || select(port, 0, 0, 0, 0) != 0) {
    Log(Level::kError, "processo do dispositivo ttyACM" + std::to_string(port) +
                           " não iniciou: " + (problem.empty() ? "porta recusada" : problem));
    return 1;
  }
  Message request;
  while (ReadMessage(fd, &request)) {
    if (!WriteMessage(fd, Serve(library, request))) break;
  }
  close(fd);
  return 0;
}

}  // namespace kovrad::hub
