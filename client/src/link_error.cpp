#include "client/link_error.h"

#include <array>

#include "kovrad.h"

namespace kovrad::client {
namespace {

struct LinkError {
  int32_t code;
  const char* name;
  const char* text;  // null: the link worked
};

constexpr std::array<LinkError, 5> kLinkErrors{{
    {__NOERROR__, "__NOERROR__", nullptr},
    {__NOCONNECT__, "__NOCONNECT__", "   Porta de comunicação não conectada.   "},
    {__CMDUNKERROR__, "__CMDUNKERROR__", "    Comando recebido do equipamento não reconhecido.  "},
    {__TIMEOUT__, "__TIMEOUT__", "   TimeOut: Equipamento não está respondendo as mensagens."},
    {__SEMCTS__, "__SEMCTS__", "   Sem Sinal CTS.   "},
}};

const LinkError* Find(int32_t code) {
  for (const LinkError& e : kLinkErrors) {
    if (e.code == code) return &e;
  }
  return nullptr;
}

}  // namespace

bool IsLinkError(int32_t code) {
  return LinkErrorText(code) != nullptr;
}

const char* LinkErrorName(int32_t code) {
  const LinkError* e = Find(code);
  return e != nullptr ? e->name : nullptr;
}

const char* LinkErrorText(int32_t code) {
  const LinkError* e = Find(code);
  return e != nullptr ? e->text : nullptr;
}

}  // namespace kovrad::client
