// The vocabulary of the device's reply lines: their "|"-separated fields, the
// result code, the lines the library writes when the port fails, and the
// operator's message for a port that cannot be opened.
#pragma once

#include <initializer_list>
#include <string_view>

namespace kovrad::manager {

// Field `n` of a reply line, counting from 1; empty when there is no such field.
std::string_view ReplyField(std::string_view reply, int n);

// The device's result code: the second field.
inline std::string_view ResultCode(std::string_view reply) {
  return ReplyField(reply, 2);
}

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
