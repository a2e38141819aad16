// The fixed-address fields of the network window checked before anything is
// sent: a device given an address it cannot use drops off the network, and
// only a visit to the till brings it back.
#pragma once

#include <optional>
#include <string>

#include "core/network_config.h"

namespace kovrad::manager {

// Why the fixed addresses of `settings` cannot be used, naming the field;
// nothing when they can (or in DHCP mode, which sends none). The device's
// address must be a unicast address inside its network, the mask a run of
// ones, the gateway another address of the same network, DNS1 a unicast
// address and DNS2 one too or left empty.
std::optional<std::string> CheckFixedAddresses(const NetworkSettings& settings);

}  // namespace kovrad::manager
