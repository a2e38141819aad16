// Every SAT function of the library with arguments a development kit accepts
// (activation code 12345678), its fixed time limit and what it makes of the
// reply afterwards. Shared by the fault matrix and the fuzz targets.
#pragma once

#include <cstdint>

#include "kovrad.h"

namespace kovrad::test {

inline constexpr char kKitCode[] = "12345678";

// What COMM_ERROR's message holds after the call.
enum class Message {
  kFields,     // "Codigo: f2.\nf3" when the link worked and both fields are there
  kNone,       // the link's own message; nothing of the reply
  kWhole,      // the whole reply when the link worked (ConsultarSAT)
  kLogFields,  // "Codigo: f2.\nf3" whatever the link did (ExtrairLogs)
  kSale,       // "Codigo: f2.\nf4" whatever the link did (the sale pair)
};

struct SatFunction {
  const char* name;  // as sent on the wire
  int limit_s;
  Message message;
  char* (*call)(int32_t session);
};

inline constexpr SatFunction kSatFunctions[] = {
    {"AtivarSAT", 300, Message::kFields,
     [](int32_t s) { return AtivarSAT(s, 1, kKitCode, "08723218000186", 35); }},
    {"ComunicarCertificadoICPBRASIL", 300, Message::kFields,
     [](int32_t s) { return ComunicarCertificadoICPBRASIL(s, kKitCode, "MIIBcertificado"); }},
    {"EnviarDadosVenda", 16, Message::kSale,
     [](int32_t s) {
       return EnviarDadosVenda(s, kKitCode,
                               "<CFe><infCFe versaoDadosEnt=\"0.08\"><ide><CNPJ>16716114000172"
                               "</CNPJ><numeroCaixa>001</numeroCaixa></ide></infCFe></CFe>");
     }},
    {"CancelarUltimaVenda", 10, Message::kSale,
     [](int32_t s) {
       return CancelarUltimaVenda(s, kKitCode, "CFe35240308723218000186599000000010000011234567",
                                  "<CFeCanc><infCFe/></CFeCanc>");
     }},
    {"ConsultarSAT", 5, Message::kWhole, [](int32_t s) { return ConsultarSAT(s); }},
    {"TesteFimAFim", 20, Message::kFields,
     [](int32_t s) { return TesteFimAFim(s, kKitCode, "<CFe><infCFe/></CFe>"); }},
    {"ConsultarStatusOperacional", 20, Message::kNone,
     [](int32_t s) { return ConsultarStatusOperacional(s, kKitCode); }},
    {"ConsultarNumeroSessao", 20, Message::kNone,
     [](int32_t s) { return ConsultarNumeroSessao(s, kKitCode, 1); }},
    {"ConfigurarInterfaceDeRede", 20, Message::kFields,
     [](int32_t s) {
       return ConfigurarInterfaceDeRede(
           s, kKitCode, "<config><tipoInter>ETHE</tipoInter><tipoLan>DHCP</tipoLan></config>");
     }},
    {"AssociarAssinatura", 900, Message::kFields,
     [](int32_t s) {
       return AssociarAssinatura(s, kKitCode, "1671611400017208723218000186", "QXNzaW5hdHVyYQ==");
     }},
    {"AtualizarSoftwareSAT", 1800, Message::kFields,
     [](int32_t s) { return AtualizarSoftwareSAT(s, kKitCode); }},
    {"ExtrairLogs", 120, Message::kLogFields, [](int32_t s) { return ExtrairLogs(s, kKitCode); }},
    {"BloquearSAT", 300, Message::kFields, [](int32_t s) { return BloquearSAT(s, kKitCode); }},
    {"DesbloquearSAT", 20, Message::kFields, [](int32_t s) { return DesbloquearSAT(s, kKitCode); }},
    // The new code is the old one: the kit keeps the code the other calls use.
    {"TrocarCodigoDeAtivacaoSAT", 120, Message::kFields,
     [](int32_t s) { return TrocarCodigoDeAtivacao(s, kKitCode, 1, kKitCode, kKitCode); }},
};

}  // namespace kovrad::test
