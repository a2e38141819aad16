// Files the device must never lose or leave half written: the state file and
// the signing key.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace satemu {

// Replaces `path` with `text`: written to "<path>.tmp" (created exclusively,
// never through a link, with `mode`), flushed to disk, renamed over `path`,
// and the folder flushed, so that a crash or a power cut at any moment leaves
// either the old file or the new one. False with the reason otherwise; the
// old file is then untouched.
bool ReplaceFile(const std::string& path, std::string_view text, mode_t mode, std::string* error);

// The whole of a file; false with the reason when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* text, std::string* error);

}  // namespace satemu
