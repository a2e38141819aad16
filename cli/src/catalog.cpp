#include "catalog.h"

#include <strings.h>

#include <algorithm>
#include <span>

namespace kovrad::cli {
namespace {

using manager::Library;

// Calls export `name` of type `Fn` through the binding; the text it returns
// is copied at once, before anything else calls into the library.
template <typename Fn, typename... Args>
Outcome TextResult(Library& library, const char* name, Args... args) {
  Outcome outcome;
  auto* function = reinterpret_cast<Fn*>(library.Lookup(name, &outcome.problem));
  if (function == nullptr) return outcome;
  const char* text = function(args...);
  outcome.called = true;
  outcome.null = text == nullptr;
  if (text != nullptr) outcome.text = text;
  return outcome;
}

template <typename Fn, typename... Args>
Outcome NumberResult(Library& library, const char* name, Args... args) {
  Outcome outcome;
  auto* function = reinterpret_cast<Fn*>(library.Lookup(name, &outcome.problem));
  if (function == nullptr) return outcome;
  outcome.text = std::to_string(function(args...));
  outcome.called = true;
  outcome.numeric = true;
  outcome.status = Status::kSuccess;
  return outcome;
}

#define EXPORT_TEXT(library, function, ...) \
  TextResult<decltype(::function)>(library, #function __VA_OPT__(, ) __VA_ARGS__)
#define EXPORT_NUMBER(library, function, ...) \
  NumberResult<decltype(::function)>(library, #function __VA_OPT__(, ) __VA_ARGS__)

// A port name, or none when no device answered: the device could not be reached.
Outcome PortResult(Outcome outcome) {
  outcome.status = outcome.null ? Status::kLinkError : Status::kSuccess;
  return outcome;
}

constexpr Parameter kCode{"codigo", Kind::kText, "the activation code"};

// A standard SAT function: it talks to the device and answers with a reply line.
Function Sat(std::string_view name, std::string_view summary, std::vector<Parameter> parameters,
             Layout layout, std::vector<std::string_view> success, int time_limit_ms, Call call) {
  Function f;
  f.name = name;
  f.summary = summary;
  f.parameters = std::move(parameters);
  f.layout = layout;
  f.success = std::move(success);
  f.time_limit_ms = time_limit_ms;
  f.exchange = true;
  f.call = call;
  return f;
}

// One of the library's own functions; `exchange` when it talks to the device.
Function Vendor(std::string_view name, std::string_view summary, std::vector<Parameter> parameters,
                Call call, bool exchange = false) {
  Function f;
  f.name = name;
  f.summary = summary;
  f.parameters = std::move(parameters);
  f.exchange = exchange;
  f.call = call;
  return f;
}

Function WithDocument(Function f) {
  f.document = true;
  return f;
}

}  // namespace

const std::vector<Function>& Functions() {
  static const std::vector<Function> functions = {
      // The standard SAT functions.
      Sat("AtivarSAT",
          "Activates the device for a taxpayer. Kinds 2 and 3 make it create an ICP-Brasil "
          "certificate request, returned in the reply.",
          {{"subcomando", Kind::kInteger,
            "1: certificate issued by SEFAZ; 2: ICP-Brasil certificate; 3: renewal of the "
            "ICP-Brasil certificate"},
           {"codigo", Kind::kText, "the activation code the device is to keep"},
           {"cnpj", Kind::kText, "the taxpayer's CNPJ, 14 digits"},
           {"uf", Kind::kInteger, "the state's IBGE code (35: Sao Paulo)"}},
          Layout::kActivation, {"04000", "04006"}, 300000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, AtivarSAT, s, a.Number(0), a.Text(1), a.Text(2), a.Number(3));
          }),
      Sat("ComunicarCertificadoICPBRASIL",
          "Hands the device the ICP-Brasil certificate issued for its certificate request.",
          {kCode, {"certificado", Kind::kDocument, "the certificate (PEM)"}}, Layout::kCommon,
          {"05000"}, 300000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, ComunicarCertificadoICPBRASIL, s, a.Text(0), a.Text(1));
          }),
      WithDocument(Sat(
          "EnviarDadosVenda",
          "Sends a sale to the device, which signs it and returns the fiscal coupon (CF-e). "
          "--salvar FILE writes the coupon.",
          {kCode, {"documento", Kind::kDocument, "the sale (CF-e XML)"}}, Layout::kSale,
          {"06000"}, 16000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, EnviarDadosVenda, s, a.Text(0), a.Text(1));
          })),
      WithDocument(Sat(
          "CancelarUltimaVenda", "Cancels the last sale. --salvar FILE writes the cancellation coupon.",
          {kCode,
           {"chave", Kind::kText, "the access key of the last sale (\"CFe\" and 44 digits)"},
           {"documento", Kind::kDocument, "the cancellation (CFeCanc XML)"}},
          Layout::kSale, {"07000"}, 10000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, CancelarUltimaVenda, s, a.Text(0), a.Text(1), a.Text(2));
          })),
      Sat("ConsultarSAT", "Asks whether the device is there and working.", {}, Layout::kCommon,
          {"08000"}, 5000,
          [](Library& l, int32_t s, const Arguments&) { return EXPORT_TEXT(l, ConsultarSAT, s); }),
      Sat("TesteFimAFim",
          "Runs the end-to-end test: the device signs a test sale and sends it to SEFAZ without "
          "making it a sale.",
          {kCode, {"documento", Kind::kDocument, "the test sale (CF-e XML)"}}, Layout::kEndToEnd,
          {"09000"}, 20000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, TesteFimAFim, s, a.Text(0), a.Text(1));
          }),
      Sat("ConsultarStatusOperacional",
          "Reads the device's operating status: serial number, network, memory, clock, "
          "versions, certificate and lock state.",
          {kCode}, Layout::kStatus, {"10000"}, 20000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, ConsultarStatusOperacional, s, a.Text(0));
          }),
      [] {
        Function lookup =
            Sat("ConsultarNumeroSessao", "Returns the reply the device gave to an earlier session.",
                {kCode, {"numero", Kind::kInteger, "the session number to look up"}},
                Layout::kCommon, {}, 20000, [](Library& l, int32_t s, const Arguments& a) {
                  return EXPORT_TEXT(l, ConsultarNumeroSessao, s, a.Text(0), a.Number(1));
                });
        lookup.passes_through = true;
        return lookup;
      }(),
      Sat("ConfigurarInterfaceDeRede",
          "Sets the device's network interface from a configuration document.",
          {kCode, {"documento", Kind::kDocument, "the network configuration (<config> XML)"}},
          Layout::kCommon, {"12000"}, 20000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, ConfigurarInterfaceDeRede, s, a.Text(0), a.Text(1));
          }),
      Sat("AssociarAssinatura", "Associates the point-of-sale program's signature with the device.",
          {kCode,
           {"cnpjs", Kind::kText,
            "the software house's CNPJ followed by the taxpayer's, 28 digits"},
           {"assinatura", Kind::kText, "the software house's signature of the two CNPJs"}},
          Layout::kCommon, {"13000"}, 900000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, AssociarAssinatura, s, a.Text(0), a.Text(1), a.Text(2));
          }),
      Sat("AtualizarSoftwareSAT", "Makes the device update its software.", {kCode},
          Layout::kCommon, {"14000"}, 1800000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, AtualizarSoftwareSAT, s, a.Text(0));
          }),
      WithDocument(Sat(
          "ExtrairLogs",
          "Reads the device's event log, in Base64 in the reply. --salvar FILE writes it decoded.",
          {kCode}, Layout::kLog, {"15000"}, 120000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, ExtrairLogs, s, a.Text(0));
          })),
      Sat("BloquearSAT", "Locks the device: it refuses sales until it is unlocked.", {kCode},
          Layout::kCommon, {"16000"}, 300000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, BloquearSAT, s, a.Text(0));
          }),
      Sat("DesbloquearSAT", "Unlocks a device that the taxpayer locked.", {kCode},
          Layout::kCommon, {"17000"}, 20000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, DesbloquearSAT, s, a.Text(0));
          }),
      Sat("TrocarCodigoDeAtivacao", "Changes the activation code kept by the device.",
          {{"codigo", Kind::kText,
            "the code presented: the activation code (opcao 1) or the emergency code (opcao 2)"},
           {"opcao", Kind::kInteger,
            "1: the activation code is presented; 2: the emergency code"},
           {"novo", Kind::kText, "the new activation code"},
           {"confirmacao", Kind::kText, "the new activation code again"}},
          Layout::kCommon, {"18000"}, 120000,
          [](Library& l, int32_t s, const Arguments& a) {
            return EXPORT_TEXT(l, TrocarCodigoDeAtivacao, s, a.Text(0), a.Number(1), a.Text(2),
                               a.Text(3));
          }),

      // The library's own functions.
      Vendor(
          "CodigoErro",
          "Prints the link error record. A new process starts with an empty one: the record "
          "of a call is printed after the call itself.",
          {},
          [](Library&, int32_t, const Arguments&) {
            Outcome outcome;
            outcome.called = true;
            outcome.has_result = false;
            outcome.status = Status::kSuccess;
            return outcome;
          },
          true),
      Vendor("GeraNumeroSessao",
             "Draws a session number from the library's generator (the same sequence in every "
             "process).",
             {},
             [](Library& l, int32_t, const Arguments&) {
               return EXPORT_NUMBER(l, GeraNumeroSessao);
             }),
      Vendor("ConfiguraTimeout",
             "Accepted and ignored by the library: each function has its own time limit.",
             {{"milissegundos", Kind::kInteger, "a time limit in milliseconds"}},
             [](Library& l, int32_t, const Arguments& a) {
               return EXPORT_NUMBER(l, ConfiguraTimeout, a.Number(0));
             }),
      Vendor("AbreSerialSAT",
             "Selects the port ttyACM<numero> for the calls that follow in the same process "
             "(see --porta).",
             {{"numero", Kind::kInteger, "the N of ttyACM<N>"}},
             [](Library& l, int32_t, const Arguments& a) {
               Outcome outcome = EXPORT_NUMBER(l, AbreSerialSAT, a.Number(0), 0, 0, 0, 0);
               if (outcome.called && outcome.text != "0") outcome.status = Status::kRefused;
               return outcome;
             }),
      Vendor("CloseSerial", "Closes the port if the library holds it open; prints 1 when it did.",
             {},
             [](Library& l, int32_t, const Arguments&) { return EXPORT_NUMBER(l, CloseSerial); }),
      Vendor(
          "GetPortaSAT",
          "Finds the first SAT device on USB, queries its status and prints its port.",
          {{"serie", Kind::kText, "the serial number expected (a different one is logged)"},
           kCode},
          [](Library& l, int32_t s, const Arguments& a) {
            return PortResult(EXPORT_TEXT(l, GetPortaSAT, a.Text(0), s, a.Text(1)));
          },
          true),
      Vendor(
          "SetPortaSAT", "As GetPortaSAT: finds the first SAT device and selects its port.",
          {{"serie", Kind::kText, "the serial number expected (a different one is logged)"},
           kCode},
          [](Library& l, int32_t s, const Arguments& a) {
            return PortResult(EXPORT_TEXT(l, SetPortaSAT, a.Text(0), s, a.Text(1)));
          },
          true),
      Vendor(
          "GetMapaPortasSAT", "Prints \"serial:port;\" for every SAT device attached.", {kCode},
          [](Library& l, int32_t, const Arguments& a) {
            return PortResult(EXPORT_TEXT(l, GetMapaPortasSAT, a.Text(0)));
          },
          true),
      Vendor("ArquivoLog",
             "Names the diagnostic log file for the calls that follow in the same process; an "
             "empty name switches the log off.",
             {{"nome", Kind::kText, "the log file name, at most 99 characters"}},
             [](Library& l, int32_t, const Arguments& a) {
               Outcome outcome = EXPORT_TEXT(l, ArquivoLog, a.Text(0));
               const bool refused = outcome.text.empty() && !a.TextString(0).empty();
               outcome.status = refused ? Status::kRefused : Status::kSuccess;
               return outcome;
             }),
      Vendor("VersaoLib", "Prints the library's version banner.", {},
             [](Library& l, int32_t, const Arguments&) {
               Outcome outcome = EXPORT_TEXT(l, VersaoLib);
               outcome.status = Status::kSuccess;
               return outcome;
             }),
      Vendor("Base64ToAscii",
             "Prints the document decoded from the last ExtrairLogs, EnviarDadosVenda or "
             "CancelarUltimaVenda of the same process: empty in a new one (use --salvar with "
             "those functions).",
             {},
             [](Library& l, int32_t, const Arguments&) {
               Outcome outcome = EXPORT_TEXT(l, Base64ToAscii);
               outcome.status = Status::kSuccess;
               return outcome;
             }),
  };
  return functions;
}

const Function* FindFunction(std::string_view name) {
  const auto& all = Functions();
  const auto found = std::find_if(all.begin(), all.end(), [name](const Function& f) {
    return f.name.size() == name.size() &&
           strncasecmp(f.name.data(), name.data(), name.size()) == 0;
  });
  return found == all.end() ? nullptr : &*found;
}

const Function* FunctionOfResult(std::string_view code) {
  if (code.size() < 2) return nullptr;
  for (const Function& f : Functions()) {
    if (!f.success.empty() && f.success.front().starts_with(code.substr(0, 2))) return &f;
  }
  return nullptr;
}

std::string WireName(const Function& function) {
  const std::string name(function.name);
  return name == "TrocarCodigoDeAtivacao" ? name + "SAT" : name;
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

std::string_view Brief(const Function& function) {
  const std::string_view summary = function.summary;
  const size_t end = summary.find(". ");
  return end == std::string_view::npos ? summary : summary.substr(0, end + 1);
}

bool Succeeded(const Function& function, std::string_view code) {
  if (function.passes_through) {
    return !code.empty() && (!code.starts_with("11") || code == "11000");
  }
  return std::find(function.success.begin(), function.success.end(), code) !=
         function.success.end();
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

}  // namespace kovrad::cli
