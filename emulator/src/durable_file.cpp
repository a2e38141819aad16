#include "durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace satemu {
namespace {

std::string Failure(const std::string& path, const char* what) {
  return path + ": " + what + ": " + std::strerror(errno);
}

// A stale temporary file (left by a crash) or a link planted in its place is
// removed once; a second clash is an error.
int CreateExclusive(const std::string& path, mode_t mode) {
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(path.c_str(), kFlags, mode);
  if (fd < 0 && errno == EEXIST && unlink(path.c_str()) == 0) fd = open(path.c_str(), kFlags, mode);
  return fd;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool SyncFolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view text, mode_t mode, std::string* error) {
  const std::string temporary = path + ".tmp";
  const int fd = CreateExclusive(temporary, mode);
  if (fd < 0) {
    *error = Failure(temporary, "cannot create");
    return false;
  }
  const char* failed = !WriteAll(fd, text) ? "cannot write" : fsync(fd) != 0 ? "cannot flush" : "";
  if (close(fd) != 0 && *failed == '\0') failed = "cannot close";
  if (*failed == '\0' && std::rename(temporary.c_str(), path.c_str()) != 0)
    failed = "cannot rename";
  if (*failed != '\0') {
    *error = Failure(temporary, failed);
    unlink(temporary.c_str());
    return false;
  }
  // The rename itself is durable only once the folder is.
  if (!SyncFolderOf(path)) {
    *error = Failure(path, "cannot flush its folder");
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* text, std::string* error) {
  // Never through a link, and never waiting on a FIFO for a writer: what is
  // read must be the file that will be replaced.
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == ELOOP) {
    *error = path + ": a symbolic link, refused: give --state the file itself or move the link away";
    return false;
  }
  if (fd < 0) {
    *error = Failure(path, "cannot open");
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = path + ": not a regular file, refused: move it away";
    close(fd);
    return false;
  }
  text->clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = Failure(path, "cannot read");
      close(fd);
      return false;
    }
    if (n == 0) break;
    text->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

}  // namespace satemu
