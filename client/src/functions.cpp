#include "client/functions.h"

#include <strings.h>

#include <algorithm>

namespace kovrad::client {
namespace {

constexpr Argument kCode{"codigoDeAtivacao", Kind::kText};

// Calls export `function` with its declared type from kovrad.h.
#define SAT_CALL(function, ...)                                                   \
  [](Library& l, int32_t s, [[maybe_unused]] const Arguments& a) {                \
    return l.Text<decltype(::function)>(#function, s __VA_OPT__(, ) __VA_ARGS__); \
  }

Function Sat(std::string_view name, std::string_view wire_name, int time_limit_ms,
             std::vector<Argument> arguments, Layout layout, std::vector<std::string_view> success,
             SatCall call) {
  Function f;
  f.export_name = name;
  f.wire_name = wire_name;
  f.time_limit_ms = time_limit_ms;
  f.arguments = std::move(arguments);
  f.layout = layout;
  f.success = std::move(success);
  f.call = call;
  return f;
}

// A sale or cancellation: its reply carries a coupon for Base64ToAscii.
Function Fiscal(Function f) {
  f.fiscal = true;
  f.document = true;
  return f;
}

}  // namespace

const std::vector<Function>& Functions() {
  static const std::vector<Function> functions = {
      Sat("AtivarSAT", "AtivarSAT", 300000,
          {{"subComando", Kind::kInteger}, kCode, {"CNPJ", Kind::kText}, {"cUF", Kind::kInteger}},
          Layout::kActivation, {"04000", "04006"},
          SAT_CALL(AtivarSAT, a.Number(0), a.Text(1), a.Text(2), a.Number(3))),
      Sat("ComunicarCertificadoICPBRASIL", "ComunicarCertificadoICPBRASIL", 300000,
          {kCode, {"certificado", Kind::kDocument}}, Layout::kCommon, {"05000"},
          SAT_CALL(ComunicarCertificadoICPBRASIL, a.Text(0), a.Text(1))),
      Fiscal(Sat("EnviarDadosVenda", "EnviarDadosVenda", 16000,
                 {kCode, {"dadosVenda", Kind::kDocument}}, Layout::kSale, {"06000"},
                 SAT_CALL(EnviarDadosVenda, a.Text(0), a.Text(1)))),
      Fiscal(Sat("CancelarUltimaVenda", "CancelarUltimaVenda", 10000,
                 {kCode, {"chave", Kind::kText}, {"dadosCancelamento", Kind::kDocument}},
                 Layout::kSale, {"07000"},
                 SAT_CALL(CancelarUltimaVenda, a.Text(0), a.Text(1), a.Text(2)))),
      Sat("ConsultarSAT", "ConsultarSAT", 5000, {}, Layout::kCommon, {"08000"},
          SAT_CALL(ConsultarSAT)),
      Sat("TesteFimAFim", "TesteFimAFim", 20000, {kCode, {"dadosVenda", Kind::kDocument}},
          Layout::kEndToEnd, {"09000"}, SAT_CALL(TesteFimAFim, a.Text(0), a.Text(1))),
      Sat("ConsultarStatusOperacional", "ConsultarStatusOperacional", 20000, {kCode},
          Layout::kStatus, {"10000"}, SAT_CALL(ConsultarStatusOperacional, a.Text(0))),
      [] {
        Function lookup = Sat("ConsultarNumeroSessao", "ConsultarNumeroSessao", 20000,
                              {kCode, {"cNumeroDeSessao", Kind::kInteger}}, Layout::kCommon, {},
                              SAT_CALL(ConsultarNumeroSessao, a.Text(0), a.Number(1)));
        lookup.passes_through = true;
        return lookup;
      }(),
      Sat("ConfigurarInterfaceDeRede", "ConfigurarInterfaceDeRede", 20000,
          {kCode, {"dadosConfiguracao", Kind::kDocument}}, Layout::kCommon, {"12000"},
          SAT_CALL(ConfigurarInterfaceDeRede, a.Text(0), a.Text(1))),
      Sat("AssociarAssinatura", "AssociarAssinatura", 900000,
          {kCode, {"CNPJvalue", Kind::kText}, {"assinaturaCNPJs", Kind::kText}}, Layout::kCommon,
          {"13000"}, SAT_CALL(AssociarAssinatura, a.Text(0), a.Text(1), a.Text(2))),
      Sat("AtualizarSoftwareSAT", "AtualizarSoftwareSAT", 1800000, {kCode}, Layout::kCommon,
          {"14000"}, SAT_CALL(AtualizarSoftwareSAT, a.Text(0))),
      [] {
        Function log = Sat("ExtrairLogs", "ExtrairLogs", 120000, {kCode}, Layout::kLog, {"15000"},
                           SAT_CALL(ExtrairLogs, a.Text(0)));
        log.document = true;
        return log;
      }(),
      Sat("BloquearSAT", "BloquearSAT", 300000, {kCode}, Layout::kCommon, {"16000"},
          SAT_CALL(BloquearSAT, a.Text(0))),
      Sat("DesbloquearSAT", "DesbloquearSAT", 20000, {kCode}, Layout::kCommon, {"17000"},
          SAT_CALL(DesbloquearSAT, a.Text(0))),
      Sat("TrocarCodigoDeAtivacao", "TrocarCodigoDeAtivacaoSAT", 120000,
          {kCode,
           {"opcao", Kind::kInteger},
           {"novoCodigo", Kind::kText},
           {"confNovoCodigo", Kind::kText}},
          Layout::kCommon, {"18000"},
          SAT_CALL(TrocarCodigoDeAtivacao, a.Text(0), a.Number(1), a.Text(2), a.Text(3))),
  };
  return functions;
}

const Function* FindFunction(std::string_view export_name) {
  const auto& all = Functions();
  const auto found = std::find_if(all.begin(), all.end(), [export_name](const Function& f) {
    return f.export_name.size() == export_name.size() &&
           strncasecmp(f.export_name.data(), export_name.data(), export_name.size()) == 0;
  });
  return found == all.end() ? nullptr : &*found;
}

bool IsFiscal(std::string_view export_name) {
  const Function* f = FindFunction(export_name);
  return f != nullptr && f->fiscal && f->export_name == export_name;
}

const Function* FunctionOfResult(std::string_view code) {
  if (code.size() < 2) return nullptr;
  for (const Function& f : Functions()) {
    if (!f.success.empty() && f.success.front().starts_with(code.substr(0, 2))) return &f;
  }
  return nullptr;
}

std::span<const ResultCode> ResultCodes(const Function& function) {
  // By family, the first two digits of the function's success code.
  static const std::vector<std::vector<ResultCode>> kCodes = {
      {{"04000", "Ativado corretamente"},
       {"04001", "Erro na criação do certificado: código de ativação inválido"},
       {"04002", "SEFAZ não reconhece este SAT (CNPJ inválido)"},
       {"04003", "SAT já ativado"},
       {"04004", "SAT com uso cessado"},
       {"04005", "Erro de comunicação com a SEFAZ"},
       {"04006", "CSR ICP-BRASIL criado com sucesso"},
       {"04007", "Erro na criação do CSR ICP-BRASIL"},
       {"04098", "SAT em processamento. Tente novamente."},
       {"04099", "Erro desconhecido na ativação"}},
      {{"05000", "Certificado transmitido com sucesso"},
       {"05001", "Código de ativação inválido"},
       {"05002", "Certificado inválido"},
       {"05098", "SAT em processamento. Tente novamente."},
       {"05099", "Erro desconhecido"}},
      {{"06000", "Emitido com sucesso + conteúdo notas"},
       {"06001", "Código de ativação inválido"},
       {"06002", "SAT ainda não ativado"},
       {"06003", "SAT não vinculado ao AC"},
       {"06004", "Vinculação do AC não confere"},
       {"06005", "Tamanho do CF-e-SAT superior a 1.500KB"},
       {"06006", "SAT bloqueado pelo contribuinte"},
       {"06007", "SAT bloqueado pela SEFAZ"},
       {"06008", "SAT bloqueado por falta de comunicação"},
       {"06009", "SAT bloqueado, código de ativação incorreto"},
       {"06010", "Erro de validação do conteúdo (cod e mensagemSEFAZ dizem qual)"},
       {"06098", "SAT em processamento. Tente novamente."},
       {"06099", "Erro desconhecido na emissão"}},
      {{"07000", "Cupom cancelado com sucesso + conteúdo CF-e-SAT cancelado"},
       {"07001", "Código de ativação inválido"},
       {"07002", "Cupom inválido"},
       {"07003", "SAT bloqueado pelo contribuinte"},
       {"07004", "SAT bloqueado pela SEFAZ"},
       {"07005", "SAT bloqueado por falta de comunicação"},
       {"07006", "SAT temporariamente bloqueado: número de tentativas ultrapassado"},
       {"07007", "Erro de validação do conteúdo"},
       {"07098", "SAT em processamento. Tente novamente."},
       {"07099", "Erro desconhecido no cancelamento"}},
      {{"08000", "SAT em operação"},
       {"08098", "SAT em processamento. Tente novamente."},
       {"08099", "Erro desconhecido"}},
      {{"09000", "Emitido com sucesso"},
       {"09001", "Código de ativação inválido"},
       {"09002", "SAT ainda não ativado"},
       {"09098", "SAT em processamento. Tente novamente."},
       {"09099", "Erro desconhecido"}},
      {{"10000", "Resposta com sucesso"},
       {"10001", "Código de ativação inválido"},
       {"10002", "SAT ainda não ativado"},
       {"10098", "SAT em processamento. Tente novamente."},
       {"10099", "Erro desconhecido"}},
      {{"(any)", "A resposta guardada da sessão consultada, com o código dela"},
       {"11001", "Código de ativação inválido"},
       {"11002", "SAT ainda não ativado"},
       {"11003", "Sessão não existe"},
       {"11098", "SAT em processamento. Tente novamente."},
       {"11099", "Erro desconhecido"}},
      {{"12000", "Rede configurada com sucesso"},
       {"12001", "Código de ativação inválido"},
       {"12002", "Dados fora do padrão a ser informado"},
       {"12098", "SAT em processamento. Tente novamente."},
       {"12099", "Erro desconhecido"}},
      {{"13000", "Assinatura do AC registrada"},
       {"13001", "Código de ativação inválido"},
       {"13002", "Erro de comunicação com a SEFAZ"},
       {"13003", "Assinatura fora do padrão informado"},
       {"13004", "CNPJ da software house ou do contribuinte não corresponde à assinatura"},
       {"13098", "SAT em processamento. Tente novamente."},
       {"13099", "Erro desconhecido"}},
      {{"14000", "Software atualizado com sucesso"},
       {"14001", "Código de ativação inválido"},
       {"14002", "Atualização em andamento"},
       {"14003", "Erro na atualização"},
       {"14004", "Arquivo de atualização inválido"},
       {"14098", "SAT em processamento. Tente novamente."},
       {"14099", "Erro desconhecido"}},
      {{"15000", "Transferência completa"},
       {"15001", "Código de ativação inválido"},
       {"15002", "Transferência em andamento"},
       {"15098", "SAT em processamento. Tente novamente."},
       {"15099", "Erro desconhecido"}},
      {{"16000", "Equipamento SAT bloqueado com sucesso"},
       {"16001", "Código de ativação inválido"},
       {"16002", "Equipamento SAT já está bloqueado"},
       {"16003", "Erro de comunicação com a SEFAZ"},
       {"16004", "Não existe parametrização de bloqueio disponível"},
       {"16098", "SAT em processamento. Tente novamente."},
       {"16099", "Erro desconhecido"}},
      {{"17000", "Equipamento SAT desbloqueado com sucesso"},
       {"17001", "Código de ativação inválido"},
       {"17002", "Erro de comunicação com a SEFAZ"},
       {"17003", "Equipamento SAT com bloqueio SEFAZ: desbloqueio não permitido"},
       {"17004", "Equipamento SAT em processo de desativação"},
       {"17005", "Equipamento SAT já está desbloqueado"},
       {"17098", "SAT em processamento. Tente novamente."},
       {"17099", "Erro desconhecido"}},
      {{"18000", "Código de ativação alterado com sucesso"},
       {"18001", "Código de ativação inválido"},
       {"18002", "Código de ativação de emergência incorreto"},
       {"18098", "SAT em processamento. Tente novamente."},
       {"18099", "Erro desconhecido"}},
  };
  const std::string_view family =
      function.passes_through ? "11" : (function.success.empty() ? "" : function.success.front());
  for (const auto& codes : kCodes) {
    if (!family.empty() && codes.back().code.starts_with(family.substr(0, 2))) return codes;
  }
  return {};
}

bool Succeeded(const Function& function, std::string_view code) {
  if (function.passes_through) {
    return !code.empty() && (!code.starts_with("11") || code == "11000");
  }
  return std::find(function.success.begin(), function.success.end(), code) !=
         function.success.end();
}

NextStep NextStepAfter(const Function& function, std::string_view code) {
  const bool device_code =
      code.size() == 5 && code.find_first_not_of("0123456789") == std::string_view::npos;
  if (!device_code) return function.fiscal ? NextStep::kRecover : NextStep::kRetry;
  if (Succeeded(function, code)) return NextStep::kDone;
  if (code.ends_with("098") || code.ends_with("099")) return NextStep::kTryLater;
  return NextStep::kCorrect;
}

std::vector<std::string_view> FieldNames(Layout layout) {
  static constexpr std::string_view kCommon[] = {"numeroSessao", "EEEEE", "mensagem", "cod",
                                                 "mensagemSEFAZ"};
  static constexpr std::string_view kActivation[] = {"CSR"};
  static constexpr std::string_view kStatus[] = {
      "NSERIE",    "TIPO_LAN",  "LAN_IP",       "LAN_MAC",         "LAN_MASK",       "LAN_GW",
      "LAN_DNS_1", "LAN_DNS_2", "STATUS_LAN",   "NIVEL_BATERIA",   "MT_TOTAL",       "MT_USADA",
      "DH_ATUAL",  "VER_SB",    "VER_LAYOUT",   "ULTIMO_CF_E_SAT", "LISTA_INICIAL",  "LISTA_FINAL",
      "DH_CFE",    "DH_ULTIMA", "CERT_EMISSAO", "CERT_VENCIMENTO", "ESTADO_OPERACAO"};
  static constexpr std::string_view kSale[] = {"numeroSessao",  "EEEEE",        "CCCC",
                                               "mensagem",      "cod",          "mensagemSEFAZ",
                                               "arquivoCFeSAT", "timeStamp",    "chaveConsulta",
                                               "valorTotalCFe", "CPFCNPJValue", "assinaturaQRCODE"};
  static constexpr std::string_view kEndToEnd[] = {"arquivoCFeBase64", "timeStamp", "numDocFiscal",
                                                   "chaveConsulta"};
  static constexpr std::string_view kLog[] = {"arquivoLog"};

  std::span<const std::string_view> tail;
  switch (layout) {
    case Layout::kNone:
      return {};
    case Layout::kSale:
      return {std::begin(kSale), std::end(kSale)};
    case Layout::kCommon:
      break;
    case Layout::kActivation:
      tail = kActivation;
      break;
    case Layout::kStatus:
      tail = kStatus;
      break;
    case Layout::kEndToEnd:
      tail = kEndToEnd;
      break;
    case Layout::kLog:
      tail = kLog;
      break;
  }
  std::vector<std::string_view> names(std::begin(kCommon), std::end(kCommon));
  for (std::string_view name : tail) names.push_back(name);
  return names;
}

}  // namespace kovrad::client
