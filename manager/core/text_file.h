// Files the operator saves from a window.
#pragma once

#include <string>
#include <string_view>

namespace kovrad::manager {

// Writes `content` to `path`, replacing the file only once all of it is
// written, so a failed save leaves an existing file as it was. False with
// `problem` set (the path and the reason) when it cannot be written.
bool WriteTextFile(const std::string& path, std::string_view content, std::string* problem);

}  // namespace kovrad::manager
