#include "functions.h"

#include <algorithm>
#include <cctype>

namespace kovrad::hub {
namespace {

using Problem = std::optional<std::string>;
using Prepare = Problem (*)(const Fields&, const std::string&, Prepared*);

constexpr size_t kTextLimit = 4096;

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool InRange(std::string_view text, long low, long high, long* value) {
  if (!AllDigits(text) || text.size() > 9) return false;
  *value = std::stol(std::string(text));
  return *value >= low && *value <= high;
}

Problem Missing(std::string_view name) {
  return "Campo obrigatório ausente: " + std::string(name) + ".";
}

Problem Malformed(std::string_view name, std::string_view rule) {
  return "Campo " + std::string(name) + " inválido: " + std::string(rule) + ".";
}

// The value of a required field, checked for what every field must be: no
// zero byte (the library would cut the text there) and within `limit`.
Problem Take(const Fields& fields, const char* name, size_t limit, std::string* value) {
  const auto found = fields.find(name);
  if (found == fields.end() || found->second.empty()) return Missing(name);
  if (found->second.find('\0') != std::string::npos) return Malformed(name, "contém byte nulo");
  if (found->second.size() > limit) {
    return Malformed(name, "mais de " + std::to_string(limit) + " caracteres");
  }
  *value = found->second;
  return std::nullopt;
}

// A field that goes between "|" separators of the payload must hold none.
Problem TakeSingle(const Fields& fields, const char* name, size_t limit, std::string* value) {
  if (auto problem = Take(fields, name, limit, value)) return problem;
  if (value->find('|') != std::string::npos) return Malformed(name, "não pode conter \"|\"");
  return std::nullopt;
}

Problem TakeNumber(const Fields& fields, const char* name, long low, long high,
                   std::string* value) {
  if (auto problem = Take(fields, name, 16, value)) return problem;
  long number = 0;
  if (!InRange(*value, low, high, &number)) {
    return Malformed(name, "número de " + std::to_string(low) + " a " + std::to_string(high));
  }
  *value = std::to_string(number);
  return std::nullopt;
}

Problem TakeDigits(const Fields& fields, const char* name, size_t count, std::string* value) {
  if (auto problem = Take(fields, name, count, value)) return problem;
  if (value->size() != count || !AllDigits(*value)) {
    return Malformed(name, std::to_string(count) + " dígitos");
  }
  return std::nullopt;
}

// Activation codes: 8 to 32 characters, printable, no "|".
Problem TakeCode(const Fields& fields, const char* name, std::string* value) {
  if (auto problem = TakeSingle(fields, name, 32, value)) return problem;
  for (unsigned char c : *value) {
    if (c < 0x20 || c == 0x7F) return Malformed(name, "caractere de controle");
  }
  if (value->size() < 8) return Malformed(name, "8 a 32 caracteres");
  return std::nullopt;
}

Problem NeedsCode(const std::string& code) {
  if (code.empty()) return "O hub não tem código de ativação configurado para este SAT.";
  return std::nullopt;
}

Problem AtivarSat(const Fields& f, const std::string& code, Prepared* out) {
  std::string kind, cnpj, state;
  if (auto p = TakeNumber(f, "tipo_certificado", 1, 3, &kind)) return p;
  if (auto p = TakeDigits(f, "cnpj", 14, &cnpj)) return p;
  if (auto p = TakeNumber(f, "codigo_uf", 11, 53, &state)) return p;
  if (auto p = NeedsCode(code)) return p;
  out->arguments = {kind, code, cnpj, state};
  return std::nullopt;
}

// Functions whose arguments are the code and then each named field in turn.
template <const char* const* kNames, size_t kCount, size_t kLimit, bool kLastIsDocument>
Problem CodeAnd(const Fields& f, const std::string& code, Prepared* out) {
  if (auto p = NeedsCode(code)) return p;
  out->arguments = {code};
  for (size_t i = 0; i < kCount; ++i) {
    std::string value;
    const bool document = kLastIsDocument && i + 1 == kCount;
    if (auto p = document ? Take(f, kNames[i], kLimit, &value)
                          : TakeSingle(f, kNames[i], kTextLimit, &value)) {
      return p;
    }
    out->arguments.push_back(std::move(value));
  }
  return std::nullopt;
}

constexpr const char* kCertificate[] = {"certificado"};
constexpr const char* kSale[] = {"dados_venda"};
constexpr const char* kNetwork[] = {"configuracao"};
constexpr const char* kNone[] = {nullptr};

Problem CancelarUltimaVenda(const Fields& f, const std::string& code, Prepared* out) {
  std::string key, document;
  if (auto p = TakeSingle(f, "chave_cfe", 47, &key)) return p;
  if (key.size() != 47 || !key.starts_with("CFe") || !AllDigits(key.substr(3))) {
    return Malformed("chave_cfe", "\"CFe\" seguido de 44 dígitos");
  }
  if (auto p = Take(f, "dados_cancelamento", kDocumentLimit, &document)) return p;
  if (auto p = NeedsCode(code)) return p;
  out->arguments = {code, key, document};
  return std::nullopt;
}

Problem ConsultarSat(const Fields&, const std::string&, Prepared* out) {
  out->arguments.clear();
  return std::nullopt;
}

Problem ConsultarNumeroSessao(const Fields& f, const std::string& code, Prepared* out) {
  std::string number;
  if (auto p = TakeNumber(f, "numero_sessao", 0, 999999, &number)) return p;
  if (auto p = NeedsCode(code)) return p;
  out->arguments = {code, number};
  return std::nullopt;
}

Problem AssociarAssinatura(const Fields& f, const std::string& code, Prepared* out) {
  std::string cnpjs, signature;
  if (auto p = TakeDigits(f, "sequencia_cnpj", 28, &cnpjs)) return p;
  if (auto p = TakeSingle(f, "assinatura_ac", 499, &signature)) return p;
  if (auto p = NeedsCode(code)) return p;
  out->arguments = {code, cnpjs, signature};
  return std::nullopt;
}

// Two spellings are in use: novo_codigo with novo_codigo_confirmacao, and
// novo_codigo_ativacao alone. Option 2 presents the emergency code instead
// of the activation code.
Problem TrocarCodigo(const Fields& f, const std::string& code, Prepared* out) {
  std::string option, fresh, confirmation, presented = code;
  if (auto p = TakeNumber(f, "opcao", 1, 2, &option)) return p;
  if (f.contains("novo_codigo_ativacao")) {
    if (auto p = TakeCode(f, "novo_codigo_ativacao", &fresh)) return p;
    confirmation = fresh;
  } else {
    if (auto p = TakeCode(f, "novo_codigo", &fresh)) return p;
    if (auto p = TakeCode(f, "novo_codigo_confirmacao", &confirmation)) return p;
    if (fresh != confirmation) {
      return Malformed("novo_codigo_confirmacao", "difere de novo_codigo");
    }
  }
  if (option == "2") {
    if (auto p = TakeCode(f, "codigo_emergencia", &presented)) return p;
  } else if (auto p = NeedsCode(code)) {
    return p;
  }
  out->arguments = {presented, option, fresh, confirmation};
  out->new_code = fresh;
  return std::nullopt;
}

// The route of export `name` and what its fields become.
HubFunction Entry(std::string_view name, Prepare prepare) {
  HubFunction f;
  f.function = client::FindFunction(name);
  for (char c : f.function->export_name) f.route += static_cast<char>(std::tolower(c));
  f.large =
      std::any_of(f.function->arguments.begin(), f.function->arguments.end(),
                  [](const client::Argument& a) { return a.kind == client::Kind::kDocument; });
  f.prepare = prepare;
  return f;
}

}  // namespace

const std::vector<HubFunction>& HubFunctions() {
  static const std::vector<HubFunction> functions = {
      Entry("AtivarSAT", AtivarSat),
      Entry("ComunicarCertificadoICPBRASIL", CodeAnd<kCertificate, 1, kDocumentLimit, true>),
      Entry("EnviarDadosVenda", CodeAnd<kSale, 1, kDocumentLimit, true>),
      Entry("CancelarUltimaVenda", CancelarUltimaVenda),
      Entry("TesteFimAFim", CodeAnd<kSale, 1, kDocumentLimit, true>),
      Entry("ConsultarSAT", ConsultarSat),
      Entry("ConsultarStatusOperacional", CodeAnd<kNone, 0, 0, false>),
      Entry("ConsultarNumeroSessao", ConsultarNumeroSessao),
      Entry("ConfigurarInterfaceDeRede", CodeAnd<kNetwork, 1, 65536, true>),
      Entry("AssociarAssinatura", AssociarAssinatura),
      Entry("AtualizarSoftwareSAT", CodeAnd<kNone, 0, 0, false>),
      Entry("ExtrairLogs", CodeAnd<kNone, 0, 0, false>),
      Entry("BloquearSAT", CodeAnd<kNone, 0, 0, false>),
      Entry("DesbloquearSAT", CodeAnd<kNone, 0, 0, false>),
      Entry("TrocarCodigoDeAtivacao", TrocarCodigo),
  };
  return functions;
}

const HubFunction* FindHubFunction(std::string_view route) {
  for (const HubFunction& f : HubFunctions()) {
    if (f.route == route) return &f;
  }
  return nullptr;
}

bool ParseTill(std::string_view text, int* till) {
  long value = 0;
  if (text.size() > 3 || !InRange(text, 0, 999, &value)) return false;
  *till = static_cast<int>(value);
  return true;
}

}  // namespace kovrad::hub
