// The sale window's working state and its two sends: the input document in
// its fixed buffer, the access key of the last sale, the key written into a
// cancellation document, and what a sale or a cancellation gives back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/recovery.h"
#include "client/session_store.h"

namespace kovrad::manager {

// The input document with its terminating zero.
inline constexpr size_t kDocumentBuffer = 2097152;
// The last sale's key with its terminating zero.
inline constexpr size_t kKeyBuffer = 300;
// Load paths are staged like a field: 99 characters at most.
inline constexpr size_t kPathLimit = 99;

inline constexpr char kMsgNoDocument[] = "Carregue um XML de entrada!";
inline constexpr char kMsgNothingToSave[] = "Envie um XML para o Q-SAT antes de salvar.";
inline constexpr char kMsgPathTooLong[] =
    "O caminho do arquivo aceita no máximo 99 caracteres. Nenhum XML de entrada foi carregado.";
inline constexpr char kMsgFileTooLarge[] =
    "O arquivo tem 2097152 bytes ou mais; o XML de entrada aceita no máximo 2097151 bytes. "
    "Nenhum XML de entrada foi carregado.";
inline constexpr char kMsgKeyTooLong[] =
    "A chave de acesso da resposta passa de 299 caracteres e não foi guardada; o cancelamento "
    "usará a chave anterior.";

// The loaded document: the bytes up to the first zero of a zero-filled
// buffer. An empty buffer means that no document is loaded.
class InputDocument {
 public:
  InputDocument();

  enum class Load { kLoaded, kUnreadable, kPathTooLong, kTooLarge };

  // Leaves no document loaded.
  void Clear();
  // Empties the buffer, then reads the file at `path` (UTF-8) as text, CR LF
  // pairs arriving as LF. A path above 99 characters or a file of a whole
  // buffer or more loads nothing.
  Load LoadFile(const std::string& path);

  bool empty() const { return buffer_[0] == '\0'; }
  // The system's reason (errno) when the last file could not be read.
  int error() const { return error_; }
  std::string_view text() const;

  // Writes `key` over the document from the "CFe" of its first quoted "CFe"
  // on, byte for byte, in the buffer itself; nothing is inserted or removed.
  // A document without one, or an empty key, stays as it is. The write stops
  // short of the buffer's last byte, which stays the terminating zero.
  void PatchKey(std::string_view key);

 private:
  std::unique_ptr<char[]> buffer_;
  int error_ = 0;
};

// The message for a load that failed; nothing for a loaded file. `error` is
// the system's reason (errno) for an unreadable file.
std::optional<std::string> LoadRefusal(InputDocument::Load result, const std::string& path = {},
                                       int error = 0);

// Where the access key stands in a sale reply: the first field that begins
// with "CFe" and is closed by a "|".
struct ReplyKey {
  std::optional<std::string> key;  // nothing without such a field, or when too long
  bool too_long = false;           // the field holds more than 299 characters
  size_t end = 0;                  // the key's closing "|"; the reply's length without a key
};
ReplyKey FindKey(std::string_view reply);

// Draws the session number of each sale, cancellation and lookup of one.
using SessionSource = std::function<int32_t()>;

// Numbers from the store of recent sessions shared with satcli (at `path`),
// none of them the fixed number of the program's other calls: the device
// finds a lost sale's reply by its session number alone.
SessionSource StoredSessions(std::string path = client::SessionStore::DefaultPath());

// A sale or cancellation whose reply was lost and whose fate the device could
// not tell yet: sending again waits until it is settled.
struct Unsettled {
  std::string function;  // "EnviarDadosVenda" or "CancelarUltimaVenda"
  int32_t session = 0;
};

// What a sale or a cancellation gave back, for the window thread.
struct SendOutcome {
  std::string reply;                  // as the library returned it, or as the device kept it
  std::optional<std::string> key;     // a sale's new key
  std::vector<std::string> messages;  // in the order they are shown
  std::optional<std::string> coupon;  // the decoded document, after a success
  int32_t session = 0;
  // Set when the reply was lost and the device was asked what it did.
  std::optional<client::SaleFate> fate;
};

// EnviarDadosVenda with a copy of `document`, then the report and, on
// "sucesso", the decoded coupon. A reply lost on the way is settled by
// asking the device for the session's stored reply.
SendOutcome Sell(client::Library& library, const std::string& code, std::string document,
                 const SessionSource& sessions);

// CancelarUltimaVenda with the last sale's key and the (patched) document;
// the key never changes. A lost reply is settled as the sale's is.
SendOutcome Cancel(client::Library& library, const std::string& code, const std::string& key,
                   const std::string& document, const SessionSource& sessions);

// Asks the device once more what became of an unsettled send.
SendOutcome AskAgain(client::Library& library, const std::string& code, const Unsettled& send,
                     const SessionSource& sessions);

}  // namespace kovrad::manager
