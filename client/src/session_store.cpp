#include "client/session_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <vector>

namespace kovrad::client {
namespace {

namespace fs = std::filesystem;

std::string Reason(const std::string& path) {
  return path + ": " + std::strerror(errno);
}

// Creates `dir` and its missing parents, readable by the user alone.
bool MakePrivateDirectory(const fs::path& dir, std::string* problem) {
  std::error_code ec;
  for (fs::path step; const fs::path& part : dir) {
    step /= part;
    if (mkdir(step.c_str(), 0700) != 0 && errno != EEXIST) {
      *problem = Reason(step);
      return false;
    }
  }
  struct stat info {};
  if (lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    *problem = dir.string() + ": not a directory";
    return false;
  }
  return true;
}

std::vector<int32_t> ReadNumbers(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  std::vector<int32_t> numbers;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    int32_t number = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), number);
    if (!line.empty() && error == std::errc() && end == line.data() + line.size() && number >= 0 &&
        number <= kMaxSession) {
      numbers.push_back(number);
    }
  }
  return numbers;
}

// Replaces `path` with `numbers` as a whole: a temporary file beside it,
// flushed, then renamed over it, so a run killed at any moment leaves the
// old list or the new one.
bool WriteNumbers(const std::string& path, const std::vector<int32_t>& numbers,
                  std::string* problem) {
  std::string text;
  for (int32_t n : numbers) text += std::to_string(n) + "\n";
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    *problem = Reason(path);
    return false;
  }
  bool written = fchmod(fd, 0600) == 0;
  for (size_t done = 0; written && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  written = written && fsync(fd) == 0;
  written = close(fd) == 0 && written;
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
    *problem = Reason(path);
    unlink(temporary.c_str());
    return false;
  }
  const int dir = open(fs::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

int32_t Random(const std::vector<int32_t>& avoid) {
  std::random_device source;
  std::uniform_int_distribution<int32_t> pick(1, kMaxSession);
  int32_t n;
  do {
    n = pick(source);
  } while (std::find(avoid.begin(), avoid.end(), n) != avoid.end());
  return n;
}

// Holds an exclusive lock on a file beside the list, so that runs at the
// same moment take turns instead of drawing from the same old list.
class ListLock {
 public:
  explicit ListLock(const std::string& path)
      : fd_(open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~ListLock() {
    if (fd_ >= 0) close(fd_);
  }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace

std::string SessionStore::DefaultPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  fs::path dir;
  if (state != nullptr && *state == '/') {
    dir = state;
  } else if (home != nullptr && *home != '\0') {
    dir = fs::path(home) / ".local" / "state";
  } else {
    return {};
  }
  return dir / "kovrad" / "satcli-sessoes";
}

bool SessionStore::Draw(int32_t* session, std::string* problem) {
  return Update(session, true, problem);
}

bool SessionStore::Record(int32_t session, std::string* problem) {
  return Update(&session, false, problem);
}

bool SessionStore::Update(int32_t* session, bool draw, std::string* problem) {
  std::vector<int32_t> recent;
  if (path_.empty()) {
    *problem = "no state directory (neither XDG_STATE_HOME nor HOME is set)";
  } else if (const fs::path dir = fs::path(path_).parent_path();
             // A bare file name is in the working directory.
             MakePrivateDirectory(dir.empty() ? fs::path(".") : dir, problem)) {
    const ListLock lock(path_);
    if (!lock.held()) {
      *problem = Reason(path_ + ".lock");
    } else {
      const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (fd >= 0) {
        recent = ReadNumbers(fd);
        close(fd);
      }
      if (fd >= 0 || errno == ENOENT) {
        if (draw) *session = Random(recent);
        std::erase(recent, *session);
        recent.push_back(*session);
        if (recent.size() > kRecentSessions) {
          recent.erase(recent.begin(), recent.end() - kRecentSessions);
        }
        return WriteNumbers(path_, recent, problem);
      }
      *problem = Reason(path_);
    }
  }
  if (draw) *session = Random(recent);
  return false;
}

}  // namespace kovrad::client
