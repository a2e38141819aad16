// Typed replies: a device's reply line read into a struct whose members carry
// the field names of the SAT-CF-e standard, numbers as numbers.
//
// Every parser takes the raw line as the library returned it and never
// throws: a line that is not a whole reply of its kind comes back as nothing,
// with `error` (when given) saying what was wrong. A refusal is a whole reply
// too: its head is read and the function's own fields, which the device
// sends only with its success code, stay empty. Whether a reply answers your
// session is yours to check (SameSession in client/reply_line.h, or compare
// numeroSessao); the parsers read what the line says.
//
// The field positions come from the table of functions (FieldNames in
// client/functions.h), so a parser and the table cannot disagree.
//
// Texts are kept as the device sent them (Windows-1252 bytes for the
// messages; DecodeReply in client/text.h makes them UTF-8). The parsers hold
// no state and may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kovrad::client {

// The fields every reply line begins with.
struct ReplyHead {
  int32_t numeroSessao = 0;  // 0 to 999999
  std::string EEEEE;         // the result code, five digits: "06000"
  std::string mensagem;      // the device's message
  std::string cod;           // SEFAZ's message code, often empty
  std::string mensagemSEFAZ;
};

// AtivarSAT, ComunicarCertificadoICPBRASIL, ConsultarSAT,
// ConfigurarInterfaceDeRede, AssociarAssinatura, AtualizarSoftwareSAT,
// BloquearSAT, DesbloquearSAT, TrocarCodigoDeAtivacao: the head alone.
// AtivarSAT adds the certificate request (CSR) when it answers 04006.
struct CommonReply {
  ReplyHead head;
  std::string CSR;
};

// EnviarDadosVenda and CancelarUltimaVenda. The sale line carries a warning
// code (CCCC) after the result code; the coupon fields are there only with
// the success code (06000, 07000).
struct SaleReply {
  ReplyHead head;
  std::string CCCC;           // the device's warning code, four digits
  std::string arquivoCFeSAT;  // the signed coupon, Base64 (CouponOf decodes it)
  std::string timeStamp;      // when it was signed: AAAAMMDDHHMMSS
  std::string chaveConsulta;  // "CFe" and the 44-digit access key
  int64_t valorTotalCFe = 0;  // the coupon's total, in centavos
  std::string CPFCNPJValue;   // the buyer's CPF or CNPJ, empty when none
  std::string assinaturaQRCODE;
};

// ConsultarStatusOperacional; the 23 status fields only with 10000.
struct StatusReply {
  ReplyHead head;
  std::string NSERIE;
  std::string TIPO_LAN;  // DHCP, IPFIX, PPPoE
  std::string LAN_IP;
  std::string LAN_MAC;
  std::string LAN_MASK;
  std::string LAN_GW;
  std::string LAN_DNS_1;
  std::string LAN_DNS_2;
  std::string STATUS_LAN;     // CONECTADO, NAO_CONECTADO
  std::string NIVEL_BATERIA;  // ALTO, MEDIO, BAIXO
  std::string MT_TOTAL;       // memory with its unit: "4 GB"
  std::string MT_USADA;
  std::string DH_ATUAL;  // AAAAMMDDHHMMSS
  std::string VER_SB;
  std::string VER_LAYOUT;
  std::string ULTIMO_CF_E_SAT;  // access key of the last coupon
  std::string LISTA_INICIAL;    // first and last coupon waiting for SEFAZ
  std::string LISTA_FINAL;
  std::string DH_CFE;           // the last coupon's transmission: AAAAMMDDHHMMSS
  std::string DH_ULTIMA;        // the last contact with SEFAZ: AAAAMMDDHHMMSS
  std::string CERT_EMISSAO;     // AAAAMMDD
  std::string CERT_VENCIMENTO;  // AAAAMMDD
  int32_t ESTADO_OPERACAO = 0;  // 0 unlocked; 1 to 4 locked (SEFAZ, taxpayer,
                                // autonomous, deactivation)
};

// TesteFimAFim; the test coupon's fields only with 09000.
struct EndToEndReply {
  ReplyHead head;
  std::string arquivoCFeBase64;
  std::string timeStamp;
  int32_t numDocFiscal = 0;
  std::string chaveConsulta;
};

// ExtrairLogs; the log only with 15000.
struct LogReply {
  ReplyHead head;
  std::string arquivoLog;  // Base64
};

// The head of any reply line: what ConsultarNumeroSessao hands back is the
// stored reply of another call, to be read with that call's parser.
std::optional<ReplyHead> ParseReplyHead(std::string_view line, std::string* error = nullptr);

std::optional<CommonReply> ParseCommonReply(std::string_view line, std::string* error = nullptr);
std::optional<SaleReply> ParseSaleReply(std::string_view line, std::string* error = nullptr);
std::optional<StatusReply> ParseStatusReply(std::string_view line, std::string* error = nullptr);
std::optional<EndToEndReply> ParseEndToEndReply(std::string_view line,
                                                std::string* error = nullptr);
std::optional<LogReply> ParseLogReply(std::string_view line, std::string* error = nullptr);

}  // namespace kovrad::client
