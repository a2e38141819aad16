#include "core/sale.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "client/binding.h"
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

}  // namespace

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

SendOutcome Sell(client::Library& library, const std::string& code, std::string document) {
  SendOutcome outcome;
  const client::Reply reply =
      KOVRAD_SAT(library, EnviarDadosVenda, kSessionNumber, code.c_str(), document.c_str());
  outcome.reply = reply.text;
  const ReplyKey key = FindKey(reply.text);
  outcome.key = key.key;
  const std::string_view searched = std::string_view(reply.text).substr(0, key.end);
  Report(library, reply, outcome);
  if (key.too_long) outcome.messages.emplace_back(kMsgKeyTooLong);
  FetchCoupon(library, searched, outcome);
  return outcome;
}

SendOutcome Cancel(client::Library& library, const std::string& code, const std::string& key,
                   const std::string& document) {
  SendOutcome outcome;
  const client::Reply reply = KOVRAD_SAT(library, CancelarUltimaVenda, kSessionNumber, code.c_str(),
                                         key.c_str(), document.c_str());
  outcome.reply = reply.text;
  Report(library, reply, outcome);
  FetchCoupon(library, reply.text, outcome);
  return outcome;
}

}  // namespace kovrad::manager
