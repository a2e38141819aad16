#include "core/sale.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "client/binding.h"
#include "client/link_error.h"
#include "client/reply_line.h"
#include "client/text.h"
#include "core/replies.h"
#include "core/run_state.h"
#include "core/text_file.h"

namespace kovrad::manager {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The messages after a send: the port message when the library gave that
// line, then the report.
void Report(client::Library& library, const client::Reply& reply, SendOutcome& outcome) {
  if (reply.called && IsLegacyPortFailure(reply.text)) {
    outcome.messages.emplace_back(kMsgPortFailure);
  }
  outcome.messages.push_back(client::ReportAfterCall(library, reply));
}

// The decoded document, when `searched` says the device succeeded.
void FetchCoupon(client::Library& library, std::string_view searched, SendOutcome& outcome) {
  if (searched.find("sucesso") == std::string_view::npos) return;
  const client::Reply coupon = KOVRAD_SAT(library, Base64ToAscii);
  if (coupon.called) {
    outcome.coupon = coupon.text;
  } else {
    outcome.messages.push_back(coupon.problem);
  }
}

constexpr char kSaleFunction[] = "EnviarDadosVenda";
constexpr char kCancelFunction[] = "CancelarUltimaVenda";

// The link error code of a call whose reply may have been lost with the
// device having acted on it; nothing when the reply settles it.
std::optional<int32_t> Lost(client::Library& library, std::string_view function,
                            const client::Reply& reply, int32_t session) {
  if (!reply.called) return std::nullopt;
  std::string problem;
  const std::optional<COMM_ERROR> record = library.ErrorRecord(&problem);
  if (!record || !client::OutcomeUncertain(function, session, record->code, reply.text)) {
    return std::nullopt;
  }
  return record->code;
}

// What the operator reads once the device has told what it did.
std::string FateMessage(const Unsettled& send, const client::Recovery& recovery) {
  const bool sale = send.function == kSaleFunction;
  const std::string what = sale ? "a venda" : "o cancelamento";
  const std::string session = " (sessão " + std::to_string(send.session) + ")";
  switch (recovery.fate) {
    case client::SaleFate::kMade: {
      const std::string made =
          "A resposta do SAT se perdeu, mas ele confirmou que fez " + what + session + ".\n";
      if (recovery.coupon.empty()) {
        return made + "O cupom não pôde ser lido da resposta guardada no SAT. Não envie " + what +
               " de novo.";
      }
      return made + "O cupom está em \"XML Saída\". Não envie " + what + " de novo.";
    }
    case client::SaleFate::kRefused: {
      const std::vector<std::string> fields = client::SplitFields(recovery.reply);
      const std::string text = fields.size() > 3 ? client::DecodeReply(fields[3]) : std::string();
      return "A resposta do SAT se perdeu; ele recusou " + what + session +
             ".\nCodigo: " + fields[1] + ".\n" + text;
    }
    case client::SaleFate::kNotMade:
      return "O SAT não recebeu " + what + session + ": nada foi feito. Confira o SAT e envie " +
             what + " de novo.";
    case client::SaleFate::kUnknown:
      break;
  }
  return "Não foi possível saber se o SAT fez " + what + session +
         ": ele não respondeu à consulta.\nNão envie de novo agora. Confira o cabo e se o SAT "
         "está ligado, espere um minuto e toque em Enviar: o programa pergunta de novo ao SAT "
         "antes de qualquer envio.";
}

// Asks the device for the stored reply of `send` and fills `outcome` from it.
void Settle(client::Library& library, const std::string& code, const Unsettled& send,
            const SessionSource& sessions, SendOutcome& outcome) {
  const client::Recovery recovery = client::RecoverSale(send.function, send.session, sessions,
                                                        client::LookupThrough(library, code));
  outcome.session = send.session;
  outcome.fate = recovery.fate;
  outcome.messages.push_back(FateMessage(send, recovery));
  if (recovery.fate == client::SaleFate::kMade || recovery.fate == client::SaleFate::kRefused) {
    outcome.reply = recovery.reply;
  }
  if (recovery.fate != client::SaleFate::kMade) return;
  if (!recovery.coupon.empty()) outcome.coupon = recovery.coupon;
  if (send.function == kSaleFunction) {
    const ReplyKey key = FindKey(recovery.reply);
    outcome.key = key.key;
    if (key.too_long) outcome.messages.emplace_back(kMsgKeyTooLong);
  }
}

// After a lost reply: the link error's own text first when nothing was
// made, so that the operator reads what failed before being told to send
// again. A reply cut short has no such text.
void SettleLost(client::Library& library, const std::string& code, const Unsettled& send,
                int32_t link_code, const SessionSource& sessions, SendOutcome& outcome) {
  Settle(library, code, send, sessions, outcome);
  const char* failure = client::LinkErrorText(link_code);
  if (outcome.fate == client::SaleFate::kNotMade && failure != nullptr) {
    outcome.messages.insert(outcome.messages.begin(), failure);
  }
}

}  // namespace

SessionSource StoredSessions(std::string path) {
  auto store = std::make_shared<client::SessionStore>(std::move(path));
  return [store] {
    int32_t session = 0;
    std::string problem;
    // A store that cannot be used still draws a number at random, which
    // is all a single run needs.
    do {
      store->Draw(&session, &problem);
    } while (session == kSessionNumber);
    return session;
  };
}

InputDocument::InputDocument() : buffer_(new char[kDocumentBuffer]()) {}

void InputDocument::Clear() {
  std::memset(buffer_.get(), 0, kDocumentBuffer);
}

std::string_view InputDocument::text() const {
  return {buffer_.get(), strnlen(buffer_.get(), kDocumentBuffer)};
}

InputDocument::Load InputDocument::LoadFile(const std::string& path) {
  Clear();
  if (client::ToCp1252(path).size() > kPathLimit) return Load::kPathTooLong;
  error_ = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error_ = errno;
    return Load::kUnreadable;
  }
  char* const data = buffer_.get();
  const size_t read = std::fread(data, 1, kDocumentBuffer, file.get());
  // A directory opens but cannot be read.
  if (std::ferror(file.get()) != 0) {
    error_ = errno;
    Clear();
    return Load::kUnreadable;
  }
  // A whole buffer read would leave no room for the terminating zero.
  if (read == kDocumentBuffer) {
    Clear();
    return Load::kTooLarge;
  }
  size_t kept = 0;
  for (size_t i = 0; i < read; ++i) {
    if (data[i] == '\r' && i + 1 < read && data[i + 1] == '\n') continue;
    data[kept++] = data[i];
  }
  std::memset(data + kept, 0, read - kept);
  return Load::kLoaded;
}

void InputDocument::PatchKey(std::string_view key) {
  if (key.empty()) return;
  const size_t quote = text().find("\"CFe");
  if (quote == std::string_view::npos) return;
  const size_t at = quote + 1;
  const size_t room = kDocumentBuffer - 1 - at;
  std::memcpy(buffer_.get() + at, key.data(), std::min(key.size(), room));
}

std::optional<std::string> LoadRefusal(InputDocument::Load result, const std::string& path,
                                       int error) {
  switch (result) {
    case InputDocument::Load::kPathTooLong:
      return kMsgPathTooLong;
    case InputDocument::Load::kTooLarge:
      return kMsgFileTooLarge;
    case InputDocument::Load::kUnreadable:
      return "Não foi possível ler o arquivo " + path + ": " + SystemErrorText(error) + ".";
    case InputDocument::Load::kLoaded:
      break;
  }
  return std::nullopt;
}

ReplyKey FindKey(std::string_view reply) {
  ReplyKey found;
  found.end = reply.size();
  // Only a field that begins with "CFe" counts: the Base64 coupon ahead of
  // the key may hold those three letters anywhere.
  for (size_t at = reply.find("CFe"); at != std::string_view::npos;
       at = reply.find("CFe", at + 1)) {
    if (at > 0 && reply[at - 1] != '|') continue;
    const size_t bar = reply.find('|', at);
    if (bar == std::string_view::npos) break;
    found.end = bar;
    if (bar - at < kKeyBuffer) {
      found.key = std::string(reply.substr(at, bar - at));
    } else {
      found.too_long = true;
    }
    break;
  }
  return found;
}

SendOutcome Sell(client::Library& library, const std::string& code, std::string document,
                 const SessionSource& sessions) {
  SendOutcome outcome;
  outcome.session = sessions();
  const client::Reply reply =
      KOVRAD_SAT(library, EnviarDadosVenda, outcome.session, code.c_str(), document.c_str());
  outcome.reply = reply.text;
  if (const auto link_code = Lost(library, kSaleFunction, reply, outcome.session)) {
    SettleLost(library, code, {kSaleFunction, outcome.session}, *link_code, sessions, outcome);
    return outcome;
  }
  const ReplyKey key = FindKey(reply.text);
  outcome.key = key.key;
  const std::string_view searched = std::string_view(reply.text).substr(0, key.end);
  Report(library, reply, outcome);
  if (key.too_long) outcome.messages.emplace_back(kMsgKeyTooLong);
  FetchCoupon(library, searched, outcome);
  return outcome;
}

SendOutcome Cancel(client::Library& library, const std::string& code, const std::string& key,
                   const std::string& document, const SessionSource& sessions) {
  SendOutcome outcome;
  outcome.session = sessions();
  const client::Reply reply = KOVRAD_SAT(library, CancelarUltimaVenda, outcome.session,
                                         code.c_str(), key.c_str(), document.c_str());
  outcome.reply = reply.text;
  if (const auto link_code = Lost(library, kCancelFunction, reply, outcome.session)) {
    SettleLost(library, code, {kCancelFunction, outcome.session}, *link_code, sessions, outcome);
    return outcome;
  }
  Report(library, reply, outcome);
  FetchCoupon(library, reply.text, outcome);
  return outcome;
}

SendOutcome AskAgain(client::Library& library, const std::string& code, const Unsettled& send,
                     const SessionSource& sessions) {
  SendOutcome outcome;
  Settle(library, code, send, sessions, outcome);
  return outcome;
}

}  // namespace kovrad::manager
