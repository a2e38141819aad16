// The standard SAT functions: payload, wire name, time limit, result message.
#include "functions.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base64.h"
#include "error.h"
#include "exchange.h"
#include "log.h"
#include "module.h"

namespace kovrad {
namespace {

constexpr size_t kCodeMax = 27;

// What a function does with the reply after the exchange.
enum class After {
  kMessage,      // result message from fields 2 and 3 when the link worked
  kNone,         // reply logged and returned
  kWholeReply,   // ConsultarSAT: the whole reply becomes the message
  kLogDocument,  // ExtrairLogs: message whatever the link did, then the log
};

void ComposeFromFields(const char* reply) {
  ReplyFields f = LeCampos(reply, 3);
  if (!f.field[2].empty() && !f.field[3].empty()) ComporMensagem(f.field[2], f.field[3]);
}

void DecodeLogDocument(const char* reply) {
  State().document.Clear();
  if (std::strstr(reply, "15000") == nullptr) return;
  if (const char* document = AposSeparador(reply, 5)) DecodificaDocumento(document);
}

// One SAT function call: `payload` (owned, released here) is null for a
// function without payload unless `needs_payload` says it failed to build.
char* Call(const char* wire_name, int32_t session, char* payload, bool needs_payload,
           int32_t limit_ms, After after, int64_t looked_up = kNoSession) {
  const LibraryLock lock;
  Module& m = State();
  auto& buffer = ReplyBuffer();
  if (needs_payload && payload == nullptr) {
    Recusa(buffer, session, kMsgNoMemory);
    return buffer.text();
  }
  ExecutaComando(wire_name, session, payload, buffer, limit_ms, -1, looked_up);
  std::free(payload);
  const char* reply = buffer.text();
  switch (after) {
    case After::kMessage:
      if (m.error.code == __NOERROR__) ComposeFromFields(reply);
      break;
    case After::kNone:
      break;
    case After::kWholeReply:
      GravaLog(reply);
      if (m.error.code == __NOERROR__ && std::strlen(reply) < sizeof m.error.msg) {
        DefineMensagem(reply);
      }
      return buffer.text();
    case After::kLogDocument:
      ComposeFromFields(reply);
      DecodeLogDocument(reply);
      break;
  }
  GravaLog(reply);
  return buffer.text();
}

char* CallWithCode(const char* wire_name, int32_t session, const char* code, int32_t limit_ms,
                   After after = After::kMessage) {
  return Call(wire_name, session, FormataCarga("%s", Texto(code)), true, limit_ms, after);
}

}  // namespace

ReplyFields LeCampos(const char* reply, int last_field) {
  ReplyFields f;
  const char* p = std::strchr(reply, '|');
  for (int k = 2; p != nullptr && k <= last_field && k < 8; ++k) {
    const char* start = p + 1;
    const char* end = std::strchr(start, '|');
    const size_t length = end != nullptr ? static_cast<size_t>(end - start) : std::strlen(start);
    if (length == 0) break;
    f.field[k] = std::string_view(start, length);
    p = end;
  }
  return f;
}

void ComporMensagem(std::string_view code, std::string_view text) {
  char* msg = State().error.msg;
  constexpr size_t kField = sizeof State().error.msg;
  std::memset(msg, 0, kField);
  std::snprintf(msg, kField, "Codigo: %.*s.\n%.*s",
                static_cast<int>(std::min(code.size(), kCodeMax)), code.data(),
                static_cast<int>(std::min(text.size(), kField)), text.data());
}

const char* AposSeparador(const char* text, int n) {
  const char* p = text;
  for (int k = 0; k < n; ++k) {
    p = std::strchr(p, '|');
    if (p == nullptr) return nullptr;
    ++p;
  }
  return p;
}

char* FormataCarga(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  char* text =
      length >= 0 ? static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1)) : nullptr;
  if (text != nullptr) std::vsnprintf(text, static_cast<size_t>(length) + 1, format, again);
  va_end(again);
  return text;
}

}  // namespace kovrad

using kovrad::After;
using kovrad::Call;
using kovrad::CallWithCode;
using kovrad::FormataCarga;
using kovrad::Texto;

extern "C" {

KOVRAD_API char* KOVRAD_CALL AtivarSAT(int32_t numeroSessao, int32_t subComando,
                                       const char* codigoDeAtivacao, const char* CNPJ,
                                       int32_t cUF) {
  return Call(
      "AtivarSAT", numeroSessao,
      FormataCarga("%01d|%s|%s|%02d", subComando, Texto(codigoDeAtivacao), Texto(CNPJ), cUF), true,
      300000, After::kMessage);
}

KOVRAD_API char* KOVRAD_CALL ComunicarCertificadoICPBRASIL(int32_t numeroSessao,
                                                           const char* codigoDeAtivacao,
                                                           const char* certificado) {
  return Call("ComunicarCertificadoICPBRASIL", numeroSessao,
              FormataCarga("%s|%s", Texto(codigoDeAtivacao), Texto(certificado)), true, 300000,
              After::kMessage);
}

KOVRAD_API char* KOVRAD_CALL ConsultarSAT(int32_t numeroSessao) {
  return Call("ConsultarSAT", numeroSessao, nullptr, false, 5000, After::kWholeReply);
}

KOVRAD_API char* KOVRAD_CALL TesteFimAFim(int32_t numeroSessao, const char* codigoDeAtivacao,
                                          const char* dadosVenda) {
  return Call("TesteFimAFim", numeroSessao,
              FormataCarga("%s|%s", Texto(codigoDeAtivacao), Texto(dadosVenda)), true, 20000,
              After::kMessage);
}

KOVRAD_API char* KOVRAD_CALL ConsultarStatusOperacional(int32_t numeroSessao,
                                                        const char* codigoDeAtivacao) {
  return CallWithCode("ConsultarStatusOperacional", numeroSessao, codigoDeAtivacao, 20000,
                      After::kNone);
}

KOVRAD_API char* KOVRAD_CALL ConsultarNumeroSessao(int32_t numeroSessao,
                                                   const char* codigoDeAtivacao,
                                                   int32_t cNumeroDeSessao) {
  // The reply is the stored reply of the session looked up, which starts
  // with that session's number.
  return Call("ConsultarNumeroSessao", numeroSessao,
              FormataCarga("%s|%06d", Texto(codigoDeAtivacao), cNumeroDeSessao), true, 20000,
              After::kNone, cNumeroDeSessao);
}

KOVRAD_API char* KOVRAD_CALL ConfigurarInterfaceDeRede(int32_t numeroSessao,
                                                       const char* codigoDeAtivacao,
                                                       const char* dadosConfiguracao) {
  return Call("ConfigurarInterfaceDeRede", numeroSessao,
              FormataCarga("%s|%s", Texto(codigoDeAtivacao), Texto(dadosConfiguracao)), true, 20000,
              After::kMessage);
}

KOVRAD_API char* KOVRAD_CALL AssociarAssinatura(int32_t numeroSessao, const char* codigoDeAtivacao,
                                                const char* CNPJvalue,
                                                const char* assinaturaCNPJs) {
  return Call(
      "AssociarAssinatura", numeroSessao,
      FormataCarga("%s|%s|%s", Texto(codigoDeAtivacao), Texto(CNPJvalue), Texto(assinaturaCNPJs)),
      true, 900000, After::kMessage);
}

KOVRAD_API char* KOVRAD_CALL AtualizarSoftwareSAT(int32_t numeroSessao,
                                                  const char* codigoDeAtivacao) {
  return CallWithCode("AtualizarSoftwareSAT", numeroSessao, codigoDeAtivacao, 1800000);
}

KOVRAD_API char* KOVRAD_CALL ExtrairLogs(int32_t numeroSessao, const char* codigoDeAtivacao) {
  return CallWithCode("ExtrairLogs", numeroSessao, codigoDeAtivacao, 120000, After::kLogDocument);
}

KOVRAD_API char* KOVRAD_CALL BloquearSAT(int32_t numeroSessao, const char* codigoDeAtivacao) {
  return CallWithCode("BloquearSAT", numeroSessao, codigoDeAtivacao, 300000);
}

KOVRAD_API char* KOVRAD_CALL DesbloquearSAT(int32_t numeroSessao, const char* codigoDeAtivacao) {
  return CallWithCode("DesbloquearSAT", numeroSessao, codigoDeAtivacao, 20000);
}

KOVRAD_API char* KOVRAD_CALL TrocarCodigoDeAtivacao(int32_t numeroSessao,
                                                    const char* codigoDeAtivacao, int32_t opcao,
                                                    const char* novoCodigo,
                                                    const char* confNovoCodigo) {
  return Call("TrocarCodigoDeAtivacaoSAT", numeroSessao,
              FormataCarga("%s|%d|%s|%s", Texto(codigoDeAtivacao), opcao, Texto(novoCodigo),
                           Texto(confNovoCodigo)),
              true, 120000, After::kMessage);
}

}  // extern "C"
