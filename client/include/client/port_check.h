// When the library cannot open the device's port, a program looks at the
// port itself to tell the person at the till which of the usual failures it is
// and what to do about it: no device, permission denied, the port held by
// another program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovrad::client {

// The tty names (ttyACM0) of the SAT devices on USB, in name order, from
// $KOVRAD_SYSFS_DIR (default /sys).
std::vector<std::string> SatPorts();

// The device path of a tty name, under $KOVRAD_DEV_DIR (default /dev).
std::string DevicePath(const std::string& port_name);

// The program holding `path` open or locked, as "name (pid N)"; empty when
// none can be found.
std::string PortHolder(const std::string& path);

// What went wrong with the port chosen by --porta (or, without it, the one
// the library finds on USB), and what to do: one or more lines.
std::string DiagnosePort(std::optional<int32_t> port);

}  // namespace kovrad::client
