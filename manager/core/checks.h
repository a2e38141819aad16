// What the operator typed, made ready for the device library: texts staged
// as Windows-1252 in fixed buffers, the CNPJ check and the activation-code
// rules.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "client/text.h"

namespace kovrad::manager {

inline constexpr size_t kFieldBuffer = 100;
inline constexpr size_t kSignatureBuffer = 500;

// A field's text as the library takes it: Windows-1252, zero-terminated, at
// most N - 1 bytes. A longer text is refused rather than cut, so the device
// never receives something other than what was typed.
template <size_t N>
class Staged {
 public:
  // False (and the buffer emptied) when the text does not fit, or holds
  // characters that Windows-1252 cannot carry (named by refused()).
  bool Stage(std::string_view utf8) {
    buffer_.fill('\0');
    refused_ = client::Unencodable(utf8);
    if (!refused_.empty()) return false;
    const std::string narrow = client::ToCp1252(utf8);
    if (narrow.size() >= N) return false;
    std::memcpy(buffer_.data(), narrow.data(), narrow.size());
    return true;
  }
  const char* c_str() const { return buffer_.data(); }
  char* data() { return buffer_.data(); }
  size_t size() const { return std::strlen(buffer_.data()); }
  std::string str() const { return buffer_.data(); }
  static constexpr size_t capacity() { return N - 1; }
  const std::string& refused() const { return refused_; }

 private:
  std::array<char, N> buffer_{};
  std::string refused_;
};

using StagedField = Staged<kFieldBuffer>;
using StagedSignature = Staged<kSignatureBuffer>;

// The message for a field whose text does not fit its staging buffer.
std::string TooLongMessage(std::string_view field_caption, size_t limit);

// The message for characters of a field that Windows-1252 cannot carry.
std::string UnencodableMessage(std::string_view field_caption, std::string_view characters);

// Why `staged` refused a field's text.
template <size_t N>
std::string StagingRefusal(std::string_view field_caption, const Staged<N>& staged) {
  return staged.refused().empty() ? TooLongMessage(field_caption, staged.capacity())
                                  : UnencodableMessage(field_caption, staged.refused());
}

// True when `input` holds exactly fourteen digits (anything else in it is
// ignored) whose last two are the CNPJ check digits of the first twelve.
// `digits` (15 bytes at least, and it may be `input` itself) receives the
// fourteen digits whenever there are exactly fourteen, and is left untouched
// otherwise.
bool ValidaCNPJ(const char* input, char* digits);

// Activation window: the code counted in characters as typed, then code and
// confirmation byte for byte after staging. The message of the first rule
// that fails, or nothing.
std::optional<std::string> CheckActivationCode(size_t typed_characters, const char* code,
                                               const char* confirmation);

// Bordered code-change window: the new code counted in staged bytes, then the
// new code and its confirmation byte for byte.
std::optional<std::string> CheckNewCode(const char* code, const char* confirmation);

inline constexpr char kMsgCodeEmpty[] = "Necessário definir o código de ativação";

}  // namespace kovrad::manager
