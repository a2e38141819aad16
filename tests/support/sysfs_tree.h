// Builds sysfs-shaped trees under a test directory, laid out the way the
// kernel shows a USB serial port: <root>/class/tty/<tty> links to the tty's
// directory below its USB interface, whose `device` link leads back to the
// interface, one level under the USB device that holds the identity files.
#pragma once

#include <string>

namespace kovrad::test {

// Adds tty `tty` (e.g. "ttyACM0") on a USB device of its own with these
// attribute values (hex as the kernel writes them: "0525", "a4a7", "0100").
// An empty `serial` or `bcd` leaves that attribute file out. Returns the USB
// device's directory, so a test can change or remove an attribute.
std::string MakeUsbTty(const std::string& root, const std::string& tty, const std::string& vendor,
                       const std::string& product, const std::string& serial,
                       const std::string& bcd);

// Adds tty `tty` on a device that is not on USB (like a built-in serial port).
void MakePlainTty(const std::string& root, const std::string& tty);

}  // namespace kovrad::test
