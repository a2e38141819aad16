// The operator program's vocabulary of replies: the lines the library writes
// when the port fails and the operator's message for a port that cannot be
// opened. The fields of a reply line are the client's (client/reply_line.h).
#pragma once

#include <initializer_list>
#include <string_view>

#include "client/reply_line.h"

namespace kovrad::manager {

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> words);

// What the library writes into the reply slot when the port cannot be opened.
inline constexpr std::string_view kPortFailureLine = "Erro ao tentar abrir a porta";

// The line older library builds answered a port failure with; several
// windows still recognise it and put the port message first.
inline constexpr std::string_view kLegacyPortFailureLine =
    "Erro ao tentar abrir a porta de comunicacao";

inline bool IsLegacyPortFailure(std::string_view reply) {
  return reply == kLegacyPortFailureLine;
}

inline constexpr char kMsgPortNotOpened[] = "Erro ao Abrir Porta de Comunicação";
inline constexpr char kMsgPortFailure[] =
    "Erro ao Abrir Porta de Comunicação\n Verifique se: driver instalado, SAT conectado";

}  // namespace kovrad::manager
