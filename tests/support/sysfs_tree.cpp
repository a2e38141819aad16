#include "sysfs_tree.h"

#include <filesystem>

#include "fake_device.h"

namespace fs = std::filesystem;

namespace kovrad::test {
namespace {

// Publishes `tty_dir` (which sits in <device>/tty/) as <root>/class/tty/<tty>
// with its `device` link to <device>, both relative as the kernel makes them.
void LinkTty(const fs::path& root, const fs::path& tty_dir) {
  fs::create_directories(tty_dir);
  fs::create_symlink("../..", tty_dir / "device");
  const fs::path by_class = root / "class" / "tty";
  fs::create_directories(by_class);
  fs::create_symlink(fs::relative(tty_dir, by_class), by_class / tty_dir.filename());
}

}  // namespace

std::string MakeUsbTty(const std::string& root, const std::string& tty, const std::string& vendor,
                       const std::string& product, const std::string& serial,
                       const std::string& bcd) {
  const fs::path usb = fs::path(root) / "devices" / "pci0000:00" / "usb1" / ("1-" + tty);
  const fs::path interface = usb / ("1-" + tty + ":1.0");
  fs::create_directories(interface);
  WriteFile((usb / "idVendor").string(), vendor + "\n");
  WriteFile((usb / "idProduct").string(), product + "\n");
  if (!serial.empty()) WriteFile((usb / "serial").string(), serial + "\n");
  if (!bcd.empty()) WriteFile((usb / "bcdDevice").string(), bcd + "\n");
  LinkTty(root, interface / "tty" / tty);
  return usb.string();
}

void MakePlainTty(const std::string& root, const std::string& tty) {
  const fs::path device = fs::path(root) / "devices" / "platform" / ("serial-" + tty);
  LinkTty(root, device / "tty" / tty);
}

}  // namespace kovrad::test
