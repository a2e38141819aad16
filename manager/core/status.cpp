#include "core/status.h"

#include "client/binding.h"
#include "client/text.h"
#include "core/replies.h"
#include "core/run_state.h"
#include "core/text_file.h"
#include "core/fault_hint.h"

namespace kovrad::manager {
namespace {

size_t ReadingWidth(int field) {
  switch (field) {
    case 6:
    case 10:
      return 299;
    case 7:
    case 8:
    case 9:
      return 199;
    default:
      return 99;
  }
}

// Byte length of the first `count` characters of UTF-8 text (all of it when
// it holds fewer).
size_t PrefixBytes(std::string_view utf8, size_t count) {
  size_t i = 0;
  for (size_t seen = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && seen++ == count) break;
  }
  return i;
}

// Lays out `pattern` with one character of `field` for each '#', ending the
// text where the field runs out. A character is whole UTF-8, never cut.
std::string Spread(std::string_view field, std::string_view pattern) {
  std::string out;
  size_t next = 0;
  for (char c : pattern) {
    if (c != '#') {
      out += c;
      continue;
    }
    if (next >= field.size()) break;
    const size_t length = PrefixBytes(field.substr(next), 1);
    out += field.substr(next, length);
    next += length;
  }
  return out;
}

}  // namespace

StatusReply ReadStatusReply(std::string_view reply) {
  StatusReply r;
  std::string_view rest = reply;
  for (int n = 1; n < kStatusFields; ++n) {
    const size_t end = rest.find('|');
    const std::string_view field = rest.substr(0, end);
    if (field.empty()) return r;
    r.fields[static_cast<size_t>(n - 1)] = field.substr(0, PrefixBytes(field, ReadingWidth(n)));
    if (end == std::string_view::npos) return r;
    rest.remove_prefix(end + 1);
  }
  r.fields[kStatusFields - 1] = rest.substr(0, PrefixBytes(rest, 1));
  return r;
}

std::string DateTimeText(std::string_view field) {
  return Spread(field, "####/##/## ##:##:##");
}

std::string DateText(std::string_view field) {
  return Spread(field, "####/##/##");
}

std::optional<std::string> OperatingState(std::string_view field) {
  if (field.empty()) return std::nullopt;
  switch (field.front()) {
    case '0':
      return "Desbloqueado";
    case '1':
      return "Bloqueio SEFAZ";
    case '2':
      return "Bloqueio Contribuinte";
    case '3':
      return "Bloqueio Autônomo";
    case '4':
      return "Bloqueio para desativação";
    default:
      return std::nullopt;
  }
}

const std::array<PanelRow, 23> kPanelRows = {{
    {"Número de Série:", "Serie", 6, Shown::kText},
    {"Tipo Rede:", "tiporede", 7, Shown::kText},
    {"MAC ADDRESS:", "mac", 9, Shown::kText},
    {"IP:", "IpSAT", 8, Shown::kText},
    {"Máscara:", "Mask", 10, Shown::kText},
    {"Gateway:", "Gateway", 11, Shown::kText},
    {"DNS1:", "DNS1", 12, Shown::kText},
    {"DNS2:", "DNS2", 13, Shown::kText},
    {"Status WAN:", "StatusLAN", 14, Shown::kText},
    {"Status:", "StatusSAT", 28, Shown::kState},
    {"Última Trans. SF:", "TXSefaz", 24, Shown::kDateTime},
    {"Última Com. SF :", "COMSefaz", 25, Shown::kDateTime},
    {"Nível Bateria:", "Bat", 15, Shown::kText},
    {"Memória Total:", "MemTot", 16, Shown::kText},
    {"Memória Usada:", "MemUsada", 17, Shown::kText},
    {"Data/Hora:", "datahora", 18, Shown::kDateTime},
    {"Versão SW Básico:", "Versao", 19, Shown::kText},
    {"Versão Layoute CFe:", "VerLayout", 20, Shown::kText},
    {"Último CFe Emitido:", "UltimoCFEEmitido", 21, Shown::kText},
    {"Primeiro CFe não emitido:", "PrimCFE", 22, Shown::kText},
    {"Último CFe não emitido:", "UltimoCFENEmitido", 23, Shown::kText},
    {"Vencimento Certificado:", "VencimentoCert", 27, Shown::kDate},
    {"Data Emissão Certificado:", "DataEmissaoCert", 26, Shown::kDate},
}};

std::optional<std::string> PanelValue(const PanelRow& row, const StatusReply& reply) {
  const std::string& field = reply[row.field];
  switch (row.shown) {
    case Shown::kText:
      return field;
    case Shown::kDateTime:
      return DateTimeText(field);
    case Shown::kDate:
      return DateText(field);
    case Shown::kState:
      return OperatingState(field);
  }
  return std::nullopt;
}

StatusOutcome QueryStatus(client::Library& library, const std::string& code,
                          const StatusProgress& progress) {
  StatusOutcome outcome;
  for (;;) {
    const client::Reply reply =
        KOVRAD_SAT(library, ConsultarStatusOperacional, kSessionNumber, code.c_str());
    if (!reply.called) {
      outcome.kind = StatusOutcome::Kind::kUnbound;
      outcome.message = reply.problem;
      return outcome;
    }
    ++outcome.calls;
    outcome.reply = client::DecodeReply(reply.text);
    if (!ContainsAny(outcome.reply, {kPortFailureLine, "Timeout", "pronta"})) break;
    if (outcome.calls == kStatusAttempts) {
      outcome.kind = StatusOutcome::Kind::kPortFailure;
      outcome.message = WithHint(kMsgPortFailure, StatusFailureHint(outcome.reply));
      return outcome;
    }
    if (progress) {
      progress("tentativa " + std::to_string(outcome.calls + 1) + " de " +
               std::to_string(kStatusAttempts) + ": " + RetryReason(outcome.reply));
    }
  }
  if (ContainsAny(outcome.reply, {"Sucesso", "sucesso"})) {
    outcome.kind = StatusOutcome::Kind::kSuccess;
    return outcome;
  }
  outcome.kind = StatusOutcome::Kind::kRefused;
  outcome.message = WithHint(outcome.reply, RefusalHint(outcome.reply));
  outcome.code_invalid = outcome.reply.find("Código de ativação inválido") != std::string::npos;
  return outcome;
}

bool StatusHistory::Save(const std::string& path, std::string* problem) const {
  std::string text;
  for (const std::string& line : lines_) text += line + '\n';
  return WriteTextFile(path, text, problem);
}

}  // namespace kovrad::manager
