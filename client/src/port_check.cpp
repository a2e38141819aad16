#include "client/port_check.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kovrad::client {
namespace {

namespace fs = std::filesystem;

constexpr char kVendor[] = "0525";
constexpr char kProduct[] = "a4a7";
// USB devices sit a few levels above the tty's interface directory.
constexpr int kMaxLevelsUp = 4;

std::string Variable(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

bool IsSatDevice(const fs::path& tty) {
  std::error_code ec;
  fs::path dir = fs::canonical(tty / "device", ec);
  for (int level = 0; !ec && level <= kMaxLevelsUp && !dir.empty(); ++level) {
    if (fs::exists(dir / "idVendor", ec)) {
      return FirstLine(dir / "idVendor") == kVendor && FirstLine(dir / "idProduct") == kProduct;
    }
    dir = dir.parent_path();
  }
  return false;
}

std::string Name(pid_t pid) {
  const std::string name = FirstLine("/proc/" + std::to_string(pid) + "/comm");
  return (name.empty() ? "a program" : name) + " (pid " + std::to_string(pid) + ")";
}

// The flock holder of the file `info` describes, from /proc/locks.
pid_t LockHolder(const struct stat& info) {
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string id, kind, mode, access, device;
    long pid = 0;
    fields >> id >> kind >> mode >> access >> pid >> device;
    unsigned major_number = 0, minor_number = 0;
    unsigned long inode = 0;
    if (kind != "FLOCK" ||
        std::sscanf(device.c_str(), "%x:%x:%lu", &major_number, &minor_number, &inode) != 3) {
      continue;
    }
    if (inode == info.st_ino && major_number == major(info.st_dev) &&
        minor_number == minor(info.st_dev) && pid > 0) {
      return static_cast<pid_t>(pid);
    }
  }
  return 0;
}

// A process with `target` among its open files (only those we may look at).
pid_t OpenedBy(const fs::path& target) {
  std::error_code ec;
  for (fs::directory_iterator proc("/proc", ec); !ec && proc != fs::directory_iterator();
       proc.increment(ec)) {
    const std::string pid = proc->path().filename();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (std::stol(pid) == getpid()) continue;
    std::error_code fd_error;
    for (fs::directory_iterator fd(proc->path() / "fd", fd_error);
         !fd_error && fd != fs::directory_iterator(); fd.increment(fd_error)) {
      std::error_code link_error;
      if (fs::read_symlink(fd->path(), link_error) == target)
        return static_cast<pid_t>(std::stol(pid));
    }
  }
  return 0;
}

std::string GroupOf(const struct stat& info) {
  const group* g = getgrgid(info.st_gid);
  return g != nullptr ? g->gr_name : std::to_string(info.st_gid);
}

// Joining the port's group helps only when that group may read and write it
// and is not root's: a port left as root:root needs the udev rule that gives
// SAT ports to dialout, or the administrator.
std::string PermissionDenied(const std::string& path, const struct stat& info) {
  const std::string group = GroupOf(info);
  const bool joinable = info.st_gid != 0 && (info.st_mode & S_IRGRP) && (info.st_mode & S_IWGRP);
  if (joinable) {
    return path + ": Permission denied\n  The port belongs to group \"" + group +
           "\": add your user to it (sudo adduser \"$USER\" " + group + ") and log in again.";
  }
  return path + ": Permission denied\n  The port belongs to group \"" + group +
         "\", which point-of-sale users do not join. Install the udev rule that gives SAT "
         "ports to the dialout group (the kovrad-udev package, or 60-kovrad.rules in "
         "/etc/udev/rules.d), plug the device in again and add your user to dialout "
         "(sudo adduser \"$USER\" dialout); or ask the computer's administrator.";
}

std::string Held(const std::string& path) {
  const std::string holder = PortHolder(path);
  return path + ": held by another program" + (holder.empty() ? "" : ": " + holder) +
         "\n  Close that program (or wait for it to finish) and try again; "
         "only one program at a time can use the device.";
}

}  // namespace

std::vector<std::string> SatPorts() {
  std::vector<std::string> ports;
  std::error_code ec;
  const fs::path ttys = fs::path(Variable("KOVRAD_SYSFS_DIR", "/sys")) / "class" / "tty";
  for (fs::directory_iterator it(ttys, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    if (IsSatDevice(it->path())) ports.push_back(it->path().filename());
  }
  std::sort(ports.begin(), ports.end());
  return ports;
}

std::string DevicePath(const std::string& port_name) {
  return Variable("KOVRAD_DEV_DIR", "/dev") + "/" + port_name;
}

std::string PortHolder(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return {};
  pid_t pid = LockHolder(info);
  if (pid == 0) {
    std::error_code ec;
    pid = OpenedBy(fs::canonical(path, ec));
  }
  return pid != 0 ? Name(pid) : std::string();
}

std::string DiagnosePort(std::optional<int32_t> port) {
  std::string path;
  if (port) {
    path = DevicePath("ttyACM" + std::to_string(*port));
  } else {
    const std::vector<std::string> found = SatPorts();
    if (found.empty()) {
      return "no SAT device found on USB.\n"
             "  Is it plugged in and switched on? \"lsusb -d 0525:a4a7\" must list it; "
             "if it does not, try another cable or USB socket.";
    }
    path = DevicePath(found.front());
  }
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    return path + ": " + std::strerror(errno) +
           "\n  The device is not plugged in, or has another number: \"ls " +
           Variable("KOVRAD_DEV_DIR", "/dev") + "/ttyACM*\" lists the ports there.";
  }
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && (errno == EACCES || errno == EPERM)) return PermissionDenied(path, info);
  if (fd < 0 && errno == EBUSY) return Held(path);
  if (fd < 0) return path + ": " + std::strerror(errno);
  const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  if (locked) return Held(path);
  return path + " opens now: it was busy or went away during the call. Try again.";
}

}  // namespace kovrad::client
