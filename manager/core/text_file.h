// Files the operator saves from a window, and the operator's words for what
// the system says when a file cannot be written or read.
#pragma once

#include <string>
#include <string_view>

namespace kovrad::manager {

// Writes `content` to `path`, replacing the file only once all of it is
// written, so a failed save leaves an existing file as it was. False with
// `problem` set (the path and the reason, in Portuguese) when it cannot be
// written.
bool WriteTextFile(const std::string& path, std::string_view content, std::string* problem);

// The reason behind a system error number (errno), in Portuguese.
std::string SystemErrorText(int error);

}  // namespace kovrad::manager
