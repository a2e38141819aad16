// Diagnostic log and settings: "sat.ini", GravaLog, ArquivoLog and VersaoLib.
#include "log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "kovrad.h"
#include "module.h"
#include "platform/platform.h"

namespace kovrad {
namespace {

constexpr const char* kSettingsFile = "sat.ini";
constexpr size_t kSettingsRead = 1024;
constexpr size_t kTraceSize = 128;
constexpr char kBanner[] = "TORVA DLL SAT Vers\xE3o: 02.00.10.07 gerada em 04/09/2017\n";

// Position past "=" and the blanks after it, starting the search at `from`.
size_t ValueAfter(std::string_view text, std::string_view key, size_t from) {
  size_t at = text.find(key, from);
  if (at == std::string_view::npos) return at;
  size_t equals = text.find('=', at);
  if (equals == std::string_view::npos) return equals;
  size_t value = equals + 1;
  while (value < text.size() && text[value] == ' ') ++value;
  return value;
}

// Fills the log name from "sat.ini" in the current directory, when it says so.
void ReadSettingsFile(char* name, size_t name_size) {
  Module& state = State();
  if (state.call_depth > 0) {
    if (state.settings_read_in_call) return;
    state.settings_read_in_call = true;
  }
  FILE* file = platform::OpenRegularFile(kSettingsFile, false);
  if (file == nullptr) return;
  char bytes[kSettingsRead];
  size_t count = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  LeConfiguracaoLog(std::string_view(bytes, count), name, name_size);
}

}  // namespace

bool LeConfiguracaoLog(std::string_view settings, char* name, size_t name_size) {
  size_t value = ValueAfter(settings, "GeraArqLog", 0);
  if (value == std::string_view::npos || value >= settings.size() || settings[value] != '1') {
    return false;
  }
  size_t start = ValueAfter(settings, "NomeArqLog", value);
  if (start == std::string_view::npos) return false;
  std::string_view rest = settings.substr(start);
  rest = rest.substr(0, rest.find('\n'));
  rest = rest.substr(0, rest.find('\r'));
  // Control characters and everything beyond ASCII end the name.
  size_t length = 0;
  while (length < rest.size()) {
    unsigned char c = static_cast<unsigned char>(rest[length]);
    if (c < 0x20 || c >= 0x80) break;
    ++length;
  }
  if (length == 0 || length >= name_size) return false;
  std::memcpy(name, rest.data(), length);
  name[length] = '\0';
  return true;
}

void GravaLog(const char* text) {
  char* name = State().log_name;
  if (name[0] == '\0') ReadSettingsFile(name, kLogNameField);
  if (name[0] == '\0') return;
  const platform::LocalTime now = platform::Now();
  FILE* file = platform::OpenRegularFile(name, true);
  if (file == nullptr) return;
  std::fprintf(file, "\n%02d/%02d/%04d %02d:%02d:%02d:%-3d ", now.day, now.month, now.year,
               now.hour, now.minute, now.second, now.millisecond);
  std::fputs(text, file);
  std::fflush(file);
  std::fclose(file);
}

void GravaMotivo() {
  const char* reason = platform::LastFailure();
  if (reason[0] == '\0') return;
  char line[platform::kFailureSize + 2];
  std::snprintf(line, sizeof line, "%s\r\n", reason);
  GravaLog(line);
  platform::DebugOutput(reason);
  platform::DebugOutput("\n");
}

void GravaLogF(const char* format, ...) {
  char line[kTraceSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  GravaLog(line);
}

}  // namespace kovrad

using kovrad::State;

extern "C" KOVRAD_API char* KOVRAD_CALL ArquivoLog(const char* nome) {
  const kovrad::LibraryLock lock;
  char* name = State().log_name;
  std::memset(name, 0, kovrad::kLogNameField);
  // A null name from a C caller counts as the empty one: the log goes off.
  size_t length = nome != nullptr ? std::strlen(nome) : 0;
  if (length > 0 && length < kovrad::kLogNameField) std::memcpy(name, nome, length);
  return name;
}

extern "C" KOVRAD_API const char* KOVRAD_CALL VersaoLib(void) {
  return kovrad::kBanner;
}
