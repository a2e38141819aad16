// Diagnostic log switched on in "sat.ini" or by ArquivoLog.
#pragma once

#include <cstddef>
#include <string_view>

namespace kovrad {

// Appends one time-stamped entry, when the log is on. Never fails loudly.
void GravaLog(const char* text);
// Why the last platform call failed ("/dev/ttyACM0: Permission denied"), as
// one entry of its own after the caller's, and on the debug trace.
void GravaMotivo();
// printf-style entry, formatted in a 128-byte trace buffer (cut to 127).
void GravaLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reads the log file name from the settings text (the first 1024 bytes of
// "sat.ini"); returns false when the text does not switch the log on or the
// name does not fit the name field.
bool LeConfiguracaoLog(std::string_view settings, char* name, size_t name_size);

}  // namespace kovrad
