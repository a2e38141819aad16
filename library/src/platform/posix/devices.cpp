// Serial devices from sysfs: each tty under class/tty whose device link leads
// to a USB device, described the way the device-setup walk of Windows reads it.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/failure.h"

namespace fs = std::filesystem;

namespace kovrad::platform {
namespace {

// USB devices sit a few levels above the tty's interface directory.
constexpr int kMaxLevelsUp = 4;

std::string SysfsRoot() {
  const char* dir = std::getenv("KOVRAD_SYSFS_DIR");
  return (dir != nullptr && *dir != '\0') ? dir : "/sys";
}

// First line of a sysfs attribute; false when it cannot be read.
bool ReadAttribute(const fs::path& file, std::string* value) {
  std::ifstream in(file);
  if (!in) return false;
  std::getline(in, *value);
  while (!value->empty() && std::isspace(static_cast<unsigned char>(value->back()))) {
    value->pop_back();
  }
  return true;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The directory holding idVendor and idProduct at or above `start`, or empty.
fs::path UsbDeviceOf(const fs::path& start) {
  std::error_code ec;
  fs::path dir = start;
  for (int level = 0; level <= kMaxLevelsUp && !dir.empty(); ++level) {
    if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec)) return dir;
    if (dir == dir.root_path()) break;
    dir = dir.parent_path();
  }
  return {};
}

bool Describe(const fs::path& tty, SerialDevice* device) {
  std::error_code ec;
  fs::path link = tty / "device";
  if (!fs::exists(link, ec)) return false;
  fs::path usb = UsbDeviceOf(fs::canonical(link, ec));
  if (ec || usb.empty()) return false;
  std::string vendor, product, serial, revision;
  if (!ReadAttribute(usb / "idVendor", &vendor) || !ReadAttribute(usb / "idProduct", &product)) {
    return false;
  }
  ReadAttribute(usb / "serial", &serial);
  const std::string ids = "USB\\VID_" + Upper(vendor) + "&PID_" + Upper(product);
  device->instance_id = ids + "\\" + serial;
  device->hardware_ids.clear();
  if (ReadAttribute(usb / "bcdDevice", &revision)) {
    device->hardware_ids = {ids + "&REV_" + Upper(revision), ids};
  }
  device->port_name = tty.filename().string();
  return true;
}

}  // namespace

bool ListSerialDevices(std::vector<SerialDevice>* devices) {
  devices->clear();
  std::error_code ec;
  fs::path ttys = fs::path(SysfsRoot()) / "class" / "tty";
  std::vector<fs::path> names;
  // Stepping with an error code: no exception may reach a C caller.
  for (fs::directory_iterator it(ttys, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    names.push_back(it->path());
  }
  if (ec) return Failed(ttys.c_str(), ec.value());
  std::sort(names.begin(), names.end());
  for (const auto& tty : names) {
    SerialDevice device;
    if (Describe(tty, &device)) devices->push_back(std::move(device));
  }
  return true;
}

}  // namespace kovrad::platform
