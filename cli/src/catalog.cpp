#include "catalog.h"

#include <strings.h>

#include <algorithm>
#include <span>

#include "i18n/messages.h"

namespace kovrad::cli {
namespace {

using client::Library;

Outcome FromReply(const client::Reply& reply) {
  Outcome outcome;
  outcome.called = reply.called;
  outcome.problem = reply.problem;
  outcome.text = reply.text;
  outcome.null = reply.null;
  return outcome;
}

// Calls export `name` of type `Fn` through the binding; the text it returns
// is copied at once, before anything else calls into the library.
template <typename Fn, typename... Args>
Outcome TextResult(Library& library, const char* name, Args... args) {
  return FromReply(library.Text<Fn>(name, args...));
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

constexpr Parameter kCode{"codigo", Kind::kText, N_("the activation code")};

// An option of a standard SAT function; its kind is the argument's.
struct Option {
  std::string_view name;
  std::string_view help;
};
constexpr Option kCodeOption{kCode.name, kCode.help};

// A standard SAT function, its options in the order of its arguments.
Function Sat(std::string_view name, std::string_view summary, std::vector<Option> options) {
  Function f;
  f.sat = client::FindFunction(name);
  f.name = f.sat->export_name;
  f.summary = summary;
  for (size_t i = 0; i < options.size(); ++i) {
    f.parameters.push_back({options[i].name, f.sat->arguments.at(i).kind, options[i].help});
  }
  f.exchange = true;
  f.document = f.sat->document;
  f.call = [sat = f.sat](Library& l, int32_t s, const Arguments& a) {
    return FromReply(sat->call(l, s, a));
  };
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

}  // namespace

const std::vector<Function>& Functions() {
  static const std::vector<Function> functions = {
      // The standard SAT functions.
      Sat("AtivarSAT",
          N_("Activates the device for a taxpayer. Kinds 2 and 3 make it create an ICP-Brasil "
             "certificate request, returned in the reply."),
          {{"subcomando",
            N_("1: certificate issued by SEFAZ; 2: ICP-Brasil certificate; 3: renewal of the "
               "ICP-Brasil certificate")},
           {"codigo", N_("the activation code the device is to keep")},
           {"cnpj", N_("the taxpayer's CNPJ, 14 digits")},
           {"uf", N_("the state's IBGE code (35: Sao Paulo)")}}),
      Sat("ComunicarCertificadoICPBRASIL",
          N_("Hands the device the ICP-Brasil certificate issued for its certificate request."),
          {kCodeOption, {"certificado", N_("the certificate (PEM)")}}),
      Sat("EnviarDadosVenda",
          N_("Sends a sale to the device, which signs it and returns the fiscal coupon (CF-e). "
             "--salvar FILE writes the coupon."),
          {kCodeOption, {"documento", N_("the sale (CF-e XML)")}}),
      Sat("CancelarUltimaVenda",
          N_("Cancels the last sale. --salvar FILE writes the cancellation coupon."),
          {kCodeOption,
           {"chave", N_("the access key of the last sale (\"CFe\" and 44 digits)")},
           {"documento", N_("the cancellation (CFeCanc XML)")}}),
      Sat("ConsultarSAT", N_("Asks whether the device is there and working."), {}),
      Sat("TesteFimAFim",
          N_("Runs the end-to-end test: the device signs a test sale and sends it to SEFAZ without "
             "making it a sale."),
          {kCodeOption, {"documento", N_("the test sale (CF-e XML)")}}),
      Sat("ConsultarStatusOperacional",
          N_("Reads the device's operating status: serial number, network, memory, clock, "
             "versions, certificate and lock state."),
          {kCodeOption}),
      Sat("ConsultarNumeroSessao", N_("Returns the reply the device gave to an earlier session."),
          {kCodeOption, {"numero", N_("the session number to look up")}}),
      Sat("ConfigurarInterfaceDeRede",
          N_("Sets the device's network interface from a configuration document."),
          {kCodeOption, {"documento", N_("the network configuration (<config> XML)")}}),
      Sat("AssociarAssinatura",
          N_("Associates the point-of-sale program's signature with the device."),
          {kCodeOption,
           {"cnpjs", N_("the software house's CNPJ followed by the taxpayer's, 28 digits")},
           {"assinatura", N_("the software house's signature of the two CNPJs")}}),
      Sat("AtualizarSoftwareSAT", N_("Makes the device update its software."), {kCodeOption}),
      Sat("ExtrairLogs",
          N_("Reads the device's event log, in Base64 in the reply. --salvar FILE writes it "
             "decoded."),
          {kCodeOption}),
      Sat("BloquearSAT", N_("Locks the device: it refuses sales until it is unlocked."),
          {kCodeOption}),
      Sat("DesbloquearSAT", N_("Unlocks a device that the taxpayer locked."), {kCodeOption}),
      Sat("TrocarCodigoDeAtivacao", N_("Changes the activation code kept by the device."),
          {{"codigo", N_("the code presented: the activation code (opcao 1) or the emergency code "
                         "(opcao 2)")},
           {"opcao", N_("1: the activation code is presented; 2: the emergency code")},
           {"novo", N_("the new activation code")},
           {"confirmacao", N_("the new activation code again")}}),

      // The library's own functions.
      Vendor(
          "CodigoErro",
          N_("Prints the link error record. A new process starts with an empty one: the record "
             "of a call is printed after the call itself."),
          {},
          [](Library&, int32_t, const Arguments&) {
            Outcome outcome;
            outcome.called = true;
            outcome.has_result = false;
            outcome.status = Status::kSuccess;
            return outcome;
          },
          true),
      Vendor(
          "GeraNumeroSessao",
          N_("Draws a session number from the library's generator (the same sequence in every "
             "process)."),
          {},
          [](Library& l, int32_t, const Arguments&) { return EXPORT_NUMBER(l, GeraNumeroSessao); }),
      Vendor("ConfiguraTimeout",
             N_("Accepted and ignored by the library: each function has its own time limit."),
             {{"milissegundos", Kind::kInteger, N_("a time limit in milliseconds")}},
             [](Library& l, int32_t, const Arguments& a) {
               return EXPORT_NUMBER(l, ConfiguraTimeout, a.Number(0));
             }),
      Vendor("AbreSerialSAT",
             N_("Selects the port ttyACM<numero> for the calls that follow in the same process "
                "(see --porta)."),
             {{"numero", Kind::kInteger, N_("the N of ttyACM<N>")}},
             [](Library& l, int32_t, const Arguments& a) {
               Outcome outcome = EXPORT_NUMBER(l, AbreSerialSAT, a.Number(0), 0, 0, 0, 0);
               if (outcome.called && outcome.text != "0") outcome.status = Status::kRefused;
               return outcome;
             }),
      Vendor("CloseSerial",
             N_("Closes the port if the library holds it open; prints 1 when it did."), {},
             [](Library& l, int32_t, const Arguments&) { return EXPORT_NUMBER(l, CloseSerial); }),
      Vendor(
          "GetPortaSAT",
          N_("Finds the first SAT device on USB, queries its status and prints its port."),
          {{"serie", Kind::kText, N_("the serial number expected (a different one is logged)")},
           kCode},
          [](Library& l, int32_t s, const Arguments& a) {
            return PortResult(EXPORT_TEXT(l, GetPortaSAT, a.Text(0), s, a.Text(1)));
          },
          true),
      Vendor(
          "SetPortaSAT", N_("As GetPortaSAT: finds the first SAT device and selects its port."),
          {{"serie", Kind::kText, N_("the serial number expected (a different one is logged)")},
           kCode},
          [](Library& l, int32_t s, const Arguments& a) {
            return PortResult(EXPORT_TEXT(l, SetPortaSAT, a.Text(0), s, a.Text(1)));
          },
          true),
      Vendor(
          "GetMapaPortasSAT", N_("Prints \"serial:port;\" for every SAT device attached."), {kCode},
          [](Library& l, int32_t, const Arguments& a) {
            return PortResult(EXPORT_TEXT(l, GetMapaPortasSAT, a.Text(0)));
          },
          true),
      Vendor("ArquivoLog",
             N_("Names the diagnostic log file for the calls that follow in the same process; an "
                "empty name switches the log off."),
             {{"nome", Kind::kText, N_("the log file name, at most 99 characters")}},
             [](Library& l, int32_t, const Arguments& a) {
               Outcome outcome = EXPORT_TEXT(l, ArquivoLog, a.Text(0));
               const bool refused = outcome.text.empty() && !a.TextString(0).empty();
               outcome.status = refused ? Status::kRefused : Status::kSuccess;
               return outcome;
             }),
      Vendor("VersaoLib", N_("Prints the library's version banner."), {},
             [](Library& l, int32_t, const Arguments&) {
               Outcome outcome = EXPORT_TEXT(l, VersaoLib);
               outcome.status = Status::kSuccess;
               return outcome;
             }),
      Vendor("Base64ToAscii",
             N_("Prints the document decoded from the last ExtrairLogs, EnviarDadosVenda or "
                "CancelarUltimaVenda of the same process: empty in a new one (use --salvar with "
                "those functions)."),
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

std::string_view FirstSentence(std::string_view summary) {
  const size_t end = summary.find(". ");
  return end == std::string_view::npos ? summary : summary.substr(0, end + 1);
}

std::string_view Brief(const Function& function) {
  return FirstSentence(function.summary);
}

}  // namespace kovrad::cli
