#include "client/replies.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "client/functions.h"
#include "client/reply_line.h"
#include "client/session_store.h"

namespace kovrad::client {
namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

template <typename Number>
bool ReadNumber(std::string_view text, Number* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return AllDigits(text) && error == std::errc() && end == text.data() + text.size();
}

// "48.00", "48.5" or "48" in centavos; at most two decimals, no sign.
bool ReadCentavos(std::string_view text, int64_t* centavos) {
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view cents = dot == std::string_view::npos ? "" : text.substr(dot + 1);
  if (whole.size() > 15 || cents.size() > 2 || !ReadNumber(whole, centavos)) return false;
  if (dot != std::string_view::npos && !AllDigits(cents)) return false;
  *centavos *= 100;
  if (!cents.empty()) *centavos += (cents[0] - '0') * 10 + (cents.size() > 1 ? cents[1] - '0' : 0);
  return true;
}

// One reply line read by field name, in the order the table gives for its
// layout. Reading stops at the first field that is wrong; `failure` says
// which.
class Reader {
 public:
  Reader(std::string_view line, Layout layout)
      : names_(FieldNames(layout)), fields_(SplitFields(line)) {}

  // Whether the line has field `name` at all (it may be empty).
  bool Has(std::string_view name) const { return Index(name) < fields_.size(); }

  void Text(std::string_view name, std::string* out) {
    if (Has(name)) *out = fields_[Index(name)];
  }

  template <typename Number>
  void Integer(std::string_view name, Number* out) {
    if (Has(name) && !ReadNumber(fields_[Index(name)], out)) Fail(name, "is not a number");
  }

  void Money(std::string_view name, int64_t* out) {
    if (Has(name) && !ReadCentavos(fields_[Index(name)], out)) Fail(name, "is not an amount");
  }

  // Every field of the layout from `first` on must be there.
  void Require(std::string_view first) {
    if (failure.empty() && !Has(names_.back())) {
      Fail(first, "and the fields after it are missing from a success reply");
    }
  }

  void Fail(std::string_view name, std::string_view why) {
    if (failure.empty()) failure = std::string(name) + " " + std::string(why);
  }

  std::string failure;

 private:
  size_t Index(std::string_view name) const {
    return static_cast<size_t>(std::find(names_.begin(), names_.end(), name) - names_.begin());
  }

  std::vector<std::string_view> names_;
  std::vector<std::string> fields_;
};

// The head; the function whose reply it is, which must be one whose replies
// have one of `layouts` (any function, known or not, when none are given).
const Function* ReadHead(Reader& reader, std::string_view line,
                         std::initializer_list<Layout> layouts, ReplyHead* head) {
  if (line.find('|') == std::string_view::npos) {
    reader.Fail("the reply", "is no reply line: " + std::string(line.substr(0, 80)));
    return nullptr;
  }
  reader.Integer("numeroSessao", &head->numeroSessao);
  reader.Text("EEEEE", &head->EEEEE);
  if (!reader.failure.empty()) return nullptr;
  if (head->numeroSessao > kMaxSession) reader.Fail("numeroSessao", "has over six digits");
  if (head->EEEEE == "9999") {
    reader.Fail("the reply", "is the library's failure line: " + std::string(ReplyField(line, 3)));
  } else if (head->EEEEE.size() != 5 || !AllDigits(head->EEEEE)) {
    reader.Fail("EEEEE", "is no result code: " + head->EEEEE.substr(0, 20));
  }
  if (!reader.failure.empty()) return nullptr;
  reader.Text("mensagem", &head->mensagem);
  reader.Text("cod", &head->cod);
  reader.Text("mensagemSEFAZ", &head->mensagemSEFAZ);
  const Function* function = FunctionOfResult(head->EEEEE);
  if (layouts.size() == 0) return function;
  if (function == nullptr ||
      std::find(layouts.begin(), layouts.end(), function->layout) == layouts.end()) {
    reader.Fail("EEEEE", head->EEEEE + " is the code of another function's reply");
    return nullptr;
  }
  return function;
}

template <typename T>
std::optional<T> Finish(const Reader& reader, T reply, std::string* error) {
  if (reader.failure.empty()) return reply;
  if (error != nullptr) *error = reader.failure;
  return std::nullopt;
}

// Whether `function`'s reply carries its own fields: only its success does.
bool CarriesFields(const Function* function, const ReplyHead& head) {
  return function != nullptr && Succeeded(*function, head.EEEEE);
}

// A reply of `layout`: the head, then `tail` reads the function's own
// fields, which a success reply must carry from `first` on.
template <typename T, typename Tail>
std::optional<T> Parse(std::string_view line, Layout layout, std::string_view first,
                       std::string* error, Tail tail) {
  T reply;
  Reader reader(line, layout);
  const Function* function = ReadHead(reader, line, {layout}, &reply.head);
  if (CarriesFields(function, reply.head)) reader.Require(first);
  tail(reader, reply);
  return Finish(reader, reply, error);
}

}  // namespace

std::optional<ReplyHead> ParseReplyHead(std::string_view line, std::string* error) {
  ReplyHead head;
  const Function* function = FunctionOfResult(ReplyField(line, 2));
  Reader reader(line, function != nullptr ? function->layout : Layout::kCommon);
  ReadHead(reader, line, {}, &head);
  return Finish(reader, head, error);
}

std::optional<CommonReply> ParseCommonReply(std::string_view line, std::string* error) {
  CommonReply reply;
  Reader reader(line, Layout::kActivation);
  ReadHead(reader, line, {Layout::kCommon, Layout::kActivation}, &reply.head);
  reader.Text("CSR", &reply.CSR);
  return Finish(reader, reply, error);
}

std::optional<SaleReply> ParseSaleReply(std::string_view line, std::string* error) {
  return Parse<SaleReply>(line, Layout::kSale, "arquivoCFeSAT", error, [](Reader& r, auto& reply) {
    r.Text("CCCC", &reply.CCCC);
    r.Text("arquivoCFeSAT", &reply.arquivoCFeSAT);
    r.Text("timeStamp", &reply.timeStamp);
    r.Text("chaveConsulta", &reply.chaveConsulta);
    r.Money("valorTotalCFe", &reply.valorTotalCFe);
    r.Text("CPFCNPJValue", &reply.CPFCNPJValue);
    r.Text("assinaturaQRCODE", &reply.assinaturaQRCODE);
  });
}

std::optional<StatusReply> ParseStatusReply(std::string_view line, std::string* error) {
  return Parse<StatusReply>(line, Layout::kStatus, "NSERIE", error, [](Reader& r, auto& s) {
    using Named = std::pair<std::string_view, std::string*>;
    for (auto [name, field] :
         std::initializer_list<Named>{{"NSERIE", &s.NSERIE},
                                      {"TIPO_LAN", &s.TIPO_LAN},
                                      {"LAN_IP", &s.LAN_IP},
                                      {"LAN_MAC", &s.LAN_MAC},
                                      {"LAN_MASK", &s.LAN_MASK},
                                      {"LAN_GW", &s.LAN_GW},
                                      {"LAN_DNS_1", &s.LAN_DNS_1},
                                      {"LAN_DNS_2", &s.LAN_DNS_2},
                                      {"STATUS_LAN", &s.STATUS_LAN},
                                      {"NIVEL_BATERIA", &s.NIVEL_BATERIA},
                                      {"MT_TOTAL", &s.MT_TOTAL},
                                      {"MT_USADA", &s.MT_USADA},
                                      {"DH_ATUAL", &s.DH_ATUAL},
                                      {"VER_SB", &s.VER_SB},
                                      {"VER_LAYOUT", &s.VER_LAYOUT},
                                      {"ULTIMO_CF_E_SAT", &s.ULTIMO_CF_E_SAT},
                                      {"LISTA_INICIAL", &s.LISTA_INICIAL},
                                      {"LISTA_FINAL", &s.LISTA_FINAL},
                                      {"DH_CFE", &s.DH_CFE},
                                      {"DH_ULTIMA", &s.DH_ULTIMA},
                                      {"CERT_EMISSAO", &s.CERT_EMISSAO},
                                      {"CERT_VENCIMENTO", &s.CERT_VENCIMENTO}}) {
      r.Text(name, field);
    }
    r.Integer("ESTADO_OPERACAO", &s.ESTADO_OPERACAO);
  });
}

std::optional<EndToEndReply> ParseEndToEndReply(std::string_view line, std::string* error) {
  return Parse<EndToEndReply>(line, Layout::kEndToEnd, "arquivoCFeBase64", error,
                              [](Reader& r, auto& reply) {
                                r.Text("arquivoCFeBase64", &reply.arquivoCFeBase64);
                                r.Text("timeStamp", &reply.timeStamp);
                                r.Integer("numDocFiscal", &reply.numDocFiscal);
                                r.Text("chaveConsulta", &reply.chaveConsulta);
                              });
}

std::optional<LogReply> ParseLogReply(std::string_view line, std::string* error) {
  return Parse<LogReply>(line, Layout::kLog, "arquivoLog", error,
                         [](Reader& r, auto& reply) { r.Text("arquivoLog", &reply.arquivoLog); });
}

}  // namespace kovrad::client
