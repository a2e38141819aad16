// The network configuration document (a "config" element whose children are
// simple text elements) and the rules a device checks before it applies one.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace satemu {

using NetworkSettings = std::map<std::string, std::string>;

// One of the document's element names (tipoInter, SSID, seg, lanIP...).
bool IsNetworkElement(std::string_view name);

// The document's elements by name; nothing, with the reason, when it is not
// a configuration document (not XML, another root, unknown, repeated or
// nested elements, a value too long).
std::optional<NetworkSettings> ReadNetworkDocument(std::string_view xml, std::string* error);

// Whether the device can come up on the network with these settings; the
// rule broken otherwise. Only what the chosen modes use is checked.
bool CheckNetwork(const NetworkSettings& settings, std::string* error);

}  // namespace satemu
