// Software update: the device asked to fetch and install its own new
// software, a call that may last up to half an hour.
#pragma once

#include <string>

namespace kovrad::client {
class Library;
}  // namespace kovrad::client

namespace kovrad::manager {

// Calls AtualizarSoftwareSAT with `code` (Windows-1252) and returns the
// operator's message once the device has answered.
std::string UpdateSoftware(client::Library& library, const std::string& code);

}  // namespace kovrad::manager
