#include "publication.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace satemu {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

void WriteAttribute(const fs::path& file, const std::string& value) {
  std::ofstream out(file, std::ios::trunc);
  out << value << '\n';
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

// Replaces whatever is at `link` with a symbolic link to `target` in one step.
void PlaceLink(const fs::path& target, const fs::path& link) {
  const fs::path temporary = link.string() + ".new";
  fs::remove(temporary);
  fs::create_symlink(target, temporary);
  fs::rename(temporary, link);
}

}  // namespace

FileLock::FileLock(const std::string& path, const std::string& what) {
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) Fail("cannot open " + path);
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    close(fd_);
    throw std::runtime_error(what + " is in use by another satemu (" + path + " is locked)");
  }
}

FileLock::~FileLock() {
  close(fd_);
}

Publication::Publication(const std::string& dir, int port, const std::string& serial) {
  const fs::path root = fs::absolute(dir);
  dev_dir_ = (root / "dev").string();
  sys_dir_ = (root / "sys").string();

  try {
    Open();
    Publish(port, serial);
  } catch (...) {
    Withdraw();
    throw;
  }
}

void Publication::Open() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    Fail("no pseudo-terminal");
  }
  char slave_path[128];
  if (ptsname_r(master_, slave_path, sizeof slave_path) != 0) Fail("no pseudo-terminal name");
  slave_path_ = slave_path;
  slave_ = open(slave_path, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) Fail(std::string("cannot open ") + slave_path);
  termios tio{};
  if (tcgetattr(slave_, &tio) != 0) Fail("cannot read the terminal settings");
  cfmakeraw(&tio);
  if (tcsetattr(slave_, TCSANOW, &tio) != 0) Fail("cannot make the terminal raw");
  const int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) Fail("fcntl");
}

void Publication::Publish(int port, const std::string& serial) {
  const std::string n = std::to_string(port);
  const std::string tty = "ttyACM" + n;
  // The port first, then the identity that leads the host to it, so a
  // device that can be found can always be opened.
  fs::create_directories(dev_dir_);
  tty_link_ = (fs::path(dev_dir_) / tty).string();
  PlaceLink(slave_path_, tty_link_);

  // As the kernel lays it out: the interface directory holds the tty, whose
  // `device` link points back at the interface, one level under the USB
  // device with the identity files.
  device_tree_ = (fs::path(sys_dir_) / "devices" / ("emu" + n)).string();
  fs::remove_all(device_tree_);
  const fs::path usb = fs::path(device_tree_) / ("usb" + n) / (n + "-1");
  const fs::path tty_dir = usb / (n + "-1:1.0") / "tty" / tty;
  fs::create_directories(tty_dir);
  WriteAttribute(usb / "idVendor", "0525");
  WriteAttribute(usb / "idProduct", "a4a7");
  WriteAttribute(usb / "bcdDevice", "2499");
  WriteAttribute(usb / "serial", serial);
  WriteAttribute(usb / "product", "SAT emulado");
  fs::create_symlink("../..", tty_dir / "device");
  const fs::path by_class = fs::path(sys_dir_) / "class" / "tty";
  fs::create_directories(by_class);
  class_link_ = (by_class / tty).string();
  PlaceLink(fs::relative(tty_dir, by_class), class_link_);
}

Publication::~Publication() {
  Withdraw();
}

void Publication::Withdraw() {
  std::error_code ec;
  if (!class_link_.empty()) fs::remove(class_link_, ec);
  if (!device_tree_.empty()) fs::remove_all(device_tree_, ec);
  if (!tty_link_.empty()) fs::remove(tty_link_, ec);
  class_link_.clear();
  device_tree_.clear();
  tty_link_.clear();
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
}

}  // namespace satemu
