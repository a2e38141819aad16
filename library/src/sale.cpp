// The sale pair: EnviarDadosVenda with its compressed payload and reply, and
// CancelarUltimaVenda.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base64.h"
#include "compression.h"
#include "error.h"
#include "exchange.h"
#include "functions.h"
#include "log.h"
#include "module.h"

namespace kovrad {
namespace {

constexpr char kSaleWireName[] = "EnviarDadosVenda";
constexpr char kMsgDocumentTooLarge[] = "Documento de venda excede 2097151 caracteres";
constexpr char kMsgNotCompressed[] = "Falha ao compactar o documento de venda";
constexpr char kMsgSaleTooLarge[] =
    "Venda compactada excede o tamanho m\xE1ximo da requisi\xE7\xE3o";

char* Refuse(int32_t session, const char* reason) {
  Recusa(ReplyBuffer(), session, reason);
  return ReplyBuffer().text();
}

// Bytes of the request text ahead of the sale payload: "%06d|EnviarDadosVenda|".
size_t SaleRequestHead(int32_t session) {
  return static_cast<size_t>(std::snprintf(nullptr, 0, "%06d|%s|", session, kSaleWireName));
}

// "Codigo: <field 2>.\n<field 4>", whatever the link did.
void ComposeSaleMessage(const char* reply) {
  ReplyFields f = LeCampos(reply, 4);
  ComporMensagem(f.field[2], f.field[4]);
}

// Replaces the compressed part after the sixth "|" (4-byte length M, then M
// bytes of zlib stream) by its expansion, and decodes the coupon from it.
void ExpandReply(size_t received) {
  Module& m = State();
  auto& buffer = ReplyBuffer();
  char* reply = buffer.text();
  const char* after = AposSeparador(reply, 6);
  if (after == nullptr) return;
  const size_t offset = static_cast<size_t>(after - reply);
  const size_t available = received > offset ? received - offset : 0;
  const uint32_t compressed = ReadLe32(buffer.data + offset);
  if (compressed == 0) return;
  // A length that runs past what arrived expands only what is there.
  const size_t present = available > 4 ? std::min<size_t>(compressed, available - 4) : 0;
  const size_t room = buffer.kSize - 1 - offset;
  const size_t produced =
      Descompacta(buffer.data + offset + 4, present, m.expanded.data, m.expanded.kSize - 1);
  m.expanded.Touch(produced);
  const size_t text = std::min(strnlen(m.expanded.text(), produced), room);
  std::memset(buffer.data + offset, 0, std::min(available, room));
  std::memcpy(buffer.data + offset, m.expanded.data, text);
  buffer.data[offset + text] = 0;
  buffer.Touch(offset + text + 1);
  DecodificaDocumento(m.expanded.text());
}

}  // namespace
}  // namespace kovrad

using namespace kovrad;

extern "C" KOVRAD_API char* KOVRAD_CALL EnviarDadosVenda(int32_t numeroSessao,
                                                         const char* codigoDeAtivacao,
                                                         const char* dadosVenda) {
  const LibraryLock lock;
  Module& m = State();
  auto& reply = ReplyBuffer();
  codigoDeAtivacao = Texto(codigoDeAtivacao);
  dadosVenda = Texto(dadosVenda);
  reply.Clear();
  m.expanded.Clear();
  m.sale_payload.Clear();
  // Cleared before anything can refuse the sale, so that Base64ToAscii never
  // hands out the coupon of an earlier one.
  m.document.Clear();

  GravaLog(dadosVenda);
  const size_t document = strnlen(dadosVenda, kSaleDocumentMax + 1);
  if (document > kSaleDocumentMax) return Refuse(numeroSessao, kMsgDocumentTooLarge);

  // Payload: the code, "|", the stream's length (4 bytes, LSB first), the stream.
  const size_t code = std::strlen(codigoDeAtivacao);
  const size_t head = code + 5;
  if (head >= m.sale_payload.kSize) return Refuse(numeroSessao, kMsgSaleTooLarge);
  uint8_t* payload = m.sale_payload.data;
  std::memcpy(payload, codigoDeAtivacao, code);
  payload[code] = '|';
  const long compressed =
      Compacta(dadosVenda, document, payload + head, m.sale_payload.kSize - head);
  if (compressed < 0) {
    m.sale_payload.Touch(m.sale_payload.kSize);  // zlib may have written anywhere in it
    return Refuse(numeroSessao, kMsgNotCompressed);
  }
  for (int i = 0; i < 4; ++i) payload[code + 1 + i] = static_cast<uint8_t>(compressed >> (8 * i));
  const size_t length = head + static_cast<size_t>(compressed);
  m.sale_payload.Touch(length);
  // The exchange would refuse it too, but its reason would then give way to
  // the result message.
  if (SaleRequestHead(numeroSessao) + length > kRequestTextMax) {
    return Refuse(numeroSessao, kMsgSaleTooLarge);
  }

  const int32_t received = ExecutaComando(kSaleWireName, numeroSessao, payload, reply, 16000,
                                          static_cast<int32_t>(length));
  ComposeSaleMessage(reply.text());
  if (reply.data[0] != 0) ExpandReply(static_cast<size_t>(received));
  GravaLog(reply.text());
  return reply.text();
}

extern "C" KOVRAD_API char* KOVRAD_CALL CancelarUltimaVenda(int32_t numeroSessao,
                                                            const char* codigoDeAtivacao,
                                                            const char* chave,
                                                            const char* dadosCancelamento) {
  const LibraryLock lock;
  Module& m = State();
  auto& buffer = ReplyBuffer();
  m.document.Clear();
  char* payload =
      FormataCarga("%s|%s|%s", Texto(codigoDeAtivacao), Texto(chave), Texto(dadosCancelamento));
  if (payload == nullptr) return Refuse(numeroSessao, kMsgNoMemory);
  ExecutaComando("CancelarUltimaVenda", numeroSessao, payload, buffer, 10000, -1);
  std::free(payload);
  const char* reply = buffer.text();
  GravaLog(reply);
  ComposeSaleMessage(reply);
  if (std::strstr(reply, "7000") != nullptr) {
    if (const char* coupon = AposSeparador(reply, 6)) DecodificaDocumento(coupon);
  }
  GravaLog(reply);
  return buffer.text();
}
