// Makes the emulated device visible the way a USB serial device is: a
// pseudo-terminal published as DIR/dev/ttyACM<N>, and a sysfs-shaped tree
// under DIR/sys in which class/tty/ttyACM<N> leads to a USB device carrying
// the SAT's identity (vendor 0525, product a4a7) and serial number.
#pragma once

#include <string>

namespace satemu {

// Holds an exclusive lock on a file for its whole life: another process that
// tries the same file fails at once. The file stays, so that a process never
// locks a file that another has just unlinked.
class FileLock {
 public:
  // Throws std::runtime_error when another process holds the lock.
  FileLock(const std::string& path, const std::string& what);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

class Publication {
 public:
  // Throws std::runtime_error saying what could not be done.
  Publication(const std::string& dir, int port, const std::string& serial);
  // Removes everything it published.
  ~Publication();
  Publication(const Publication&) = delete;
  Publication& operator=(const Publication&) = delete;

  // The device's end of the pseudo-terminal, non-blocking.
  int master() const { return master_; }
  const std::string& dev_dir() const { return dev_dir_; }
  const std::string& sys_dir() const { return sys_dir_; }

 private:
  void Open();
  void Publish(int port, const std::string& serial);
  void Withdraw();

  std::string dev_dir_, sys_dir_;
  std::string slave_path_;
  std::string tty_link_, class_link_, device_tree_;
  int master_ = -1;
  // The host opens and closes its end for every exchange; holding it open
  // here keeps the pseudo-terminal alive in between.
  int slave_ = -1;
};

}  // namespace satemu
