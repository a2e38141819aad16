#include "device.h"

#include <algorithm>
#include <cstdio>

#include "store.h"
#include "text.h"

namespace satemu {
namespace {

// Requests outside every family: unreadable, or naming no known function.
constexpr char kNoFamilyCode[] = "99999";
// Its own reply names the session looked up, not a new one to remember.
constexpr char kLookupFunction[] = "ConsultarNumeroSessao";
constexpr char kMsgNotSaved[] = "Erro desconhecido: o estado do SAT não pôde ser gravado";
constexpr char kMsgRepeatedSession[] =
    "Número de sessão repetido: já usado numa das últimas sessões do SAT";

std::string SessionText(int32_t session) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d", session);
  return text;
}

}  // namespace

void MakeKit(DeviceState* state, std::time_t now) {
  state->activation = Activation::kActive;
  state->activation_code = kKitCode;
  state->taxpayer_cnpj = kTestTaxpayerCnpj;
  state->taxpayer.ie = kTestTaxpayerIe;
  state->state_code = kTestStateCode;
  state->software_house_cnpj = kTestSoftwareHouseCnpj;
  state->signature = kTestSignature;
  state->certificate_issued = DateStamp(now);
  state->certificate_expires = DateStamp(now, kCertificateYears);
  state->last_contact = Timestamp(now);
}

bool ParseRequest(std::string_view text, Request* request) {
  const auto fields = SplitFields(text, 3);
  long long session = 0;
  if (fields.size() < 2 || !ParseInteger(fields[0], INT32_MIN, INT32_MAX, &session)) return false;
  request->session = static_cast<int32_t>(session);
  if (fields[1].empty()) return false;
  request->function = std::string(fields[1]);
  request->payload = fields.size() > 2 ? std::string(fields[2]) : std::string();
  return true;
}

Reply Fields(const Request& request, std::string code,
             const std::vector<std::string_view>& fields) {
  std::string line = SessionText(request.session) + "|" + code;
  for (std::string_view field : fields) {
    line += '|';
    line += field;
  }
  return {std::move(code), std::move(line), {}};
}

Reply Answer(const Request& request, std::string code, std::string_view message,
             std::initializer_list<std::string_view> extra) {
  std::vector<std::string_view> fields = {message, "", ""};
  fields.insert(fields.end(), extra.begin(), extra.end());
  return Fields(request, std::move(code), fields);
}

Reply Refuse(const Request& request, const Family& family, std::string_view which,
             std::string_view message) {
  std::string code = std::string(family.prefix) + std::string(which);
  if (family.layout == Layout::kSale) {
    return Fields(request, std::move(code), {"0000", message, "", ""});
  }
  return Answer(request, std::move(code), message);
}

namespace {

// Case 099 of the family of `code`, with `message`.
Reply Case099(const Request& request, std::string_view code, std::string_view message) {
  const std::string_view prefix = code.substr(0, 2);
  if (prefix == "99") return Answer(request, kNoFamilyCode, message);
  const bool sale = prefix == "06" || prefix == "07";
  return Refuse(request, {prefix, "002", sale ? Layout::kSale : Layout::kCommon}, "099", message);
}

}  // namespace

Reply DeviceError(const Request& request, std::string_view code) {
  return Case099(request, code, kMsgNotSaved);
}

namespace {

CommandTable AllCommands() {
  CommandTable table;
  AddQueries(table);
  AddAdministration(table);
  AddNetwork(table);
  AddSales(table);
  return table;
}

}  // namespace

bool IsDeviceFunction(std::string_view name) {
  static const CommandTable commands = AllCommands();
  return commands.contains(name);
}

Device::Device(DeviceState& state, std::string serial)
    : state_(state), serial_(std::move(serial)), commands_(AllCommands()) {}

Device::Outcome Device::Handle(std::string_view text) {
  Request request;
  Outcome outcome;
  const DeviceState before = state_;
  if (!ParseRequest(text, &request)) {
    outcome.reply = Answer(request, kNoFamilyCode, "Requisição mal formada");
    Record("REQUISICAO", "requisição mal formada recusada", true);
    if (!Commit()) state_ = before;
    return outcome;
  }
  outcome.function = request.function;
  const auto command = commands_.find(request.function);
  outcome.reply = command != commands_.end()
                      ? command->second(*this, request)
                      : Answer(request, kNoFamilyCode, "Função desconhecida");
  if (unique_sessions_ && request.function != kLookupFunction &&
      history_.FindSession(request.session) != nullptr) {
    // Undone: the session's stored reply must stay the one it names.
    state_ = before;
    pending_.clear();
    outcome.reply = Case099(request, outcome.reply.code, kMsgRepeatedSession);
    Record("COMANDO",
           Printable(request.function, 64) + ", sessão " + SessionText(request.session) +
               " repetida, recusado",
           true);
    if (!Commit()) state_ = before;
    return outcome;
  }
  const std::string& code = outcome.reply.code;
  Record("COMANDO",
         Printable(request.function, 64) + ", sessão " + SessionText(request.session) +
             ", resultado " + code,
         !code.ends_with("000"));
  if (request.function != kLookupFunction) {
    Reply& reply = outcome.reply;
    pending_.push_back({Entry::Kind::kSession, request.session,
                        reply.remembered.empty() ? reply.line : std::move(reply.remembered)});
  }
  if (!Commit()) {
    state_ = before;
    outcome.reply = DeviceError(request, outcome.reply.code);
  }
  return outcome;
}

bool Device::Commit() {
  std::vector<Entry> entries = std::move(pending_);
  pending_.clear();
  if (store_ != nullptr && !store_->Commit(state_, entries)) return false;
  for (Entry& entry : entries) history_.Add(std::move(entry));
  return true;
}

bool Device::CodeMatches(std::string_view code) const {
  return state_.activation == Activation::kFactory ? code == kFactoryCode
                                                   : code == state_.activation_code;
}

std::optional<Reply> Device::Refusal(const Request& request, std::string_view code,
                                     const Family& family, Access access) const {
  if (access == Access::kActivated && state_.activation != Activation::kActive) {
    return Refuse(request, family, family.not_activated, kMsgNotActivated);
  }
  if (!CodeMatches(code)) return Refuse(request, family, "001", kMsgInvalidCode);
  return std::nullopt;
}

const SigningKey* Device::signing_key() {
  if (signing_key_ == nullptr && !own_key_) {
    std::string error;
    own_key_ = SigningKey::Make(serial_, &error);
  }
  return signing_key_ != nullptr ? signing_key_ : own_key_.get();
}

void Device::Record(std::string_view event, std::string_view text, bool failure) {
  pending_.push_back({Entry::Kind::kEvent, 0,
                      Timestamp(Now()) + "|SAT|" + (failure ? "ERRO" : "INFO") + "|" +
                          Printable(event, 32) + ": " + Printable(text, 200)});
}

}  // namespace satemu
