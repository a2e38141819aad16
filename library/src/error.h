// The link error record and the library's own messages (Windows-1252 bytes).
#pragma once

#include <cstdint>

namespace kovrad {

inline constexpr char kMsgPortaNaoAbre[] = "Erro ao tentar abrir a porta de comunicacao!!";
inline constexpr char kMsgTimeout[] = "Timeout na comunica\xE7\xE3o com o equipamento.";
inline constexpr char kReplyPortaNaoAbre[] = "Erro ao tentar abrir a porta";
inline constexpr char kReplyTimeout[] = "Timeout de comunica\xE7\xE3o";
inline constexpr char kMsgNoMemory[] = "Mem\xF3ria insuficiente para montar a requisi\xE7\xE3o";

// Sets COMM_ERROR: the whole message field is cleared, then `message` copied
// (cut to 799 characters).
void DefineErro(int32_t code, const char* message);
// Replaces only the message, cut to 799 characters.
void DefineMensagem(const char* message);

}  // namespace kovrad
