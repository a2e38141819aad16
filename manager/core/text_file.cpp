#include "core/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace kovrad::manager {
namespace {

bool Fail(const std::string& path, int error, std::string* problem) {
  *problem = "Não foi possível gravar o arquivo " + path + ": " + SystemErrorText(error) + ".";
  return false;
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    content.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The mode a new file gets from the process's mask; an existing file keeps its own.
mode_t ModeFor(const std::string& path) {
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) return existing.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool WriteTextFile(const std::string& path, std::string_view content, std::string* problem) {
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
    return Fail(path, EISDIR, problem);
  }
  // Written beside the file under a passing name, then renamed over it.
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return Fail(path, errno, problem);
  const bool written =
      ::fchmod(fd, ModeFor(path)) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
  const int error = errno;
  if (::close(fd) != 0 || !written) {
    const int reason = written ? errno : error;
    ::unlink(temporary.c_str());
    return Fail(path, reason, problem);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int reason = errno;
    ::unlink(temporary.c_str());
    return Fail(path, reason, problem);
  }
  return true;
}

std::string SystemErrorText(int error) {
  switch (error) {
    case ENOENT:
      return "a pasta ou o arquivo não existe";
    case ENOTDIR:
      return "uma parte do caminho não é uma pasta";
    case EISDIR:
      return "o nome é de uma pasta, não de um arquivo";
    case EACCES:
    case EPERM:
      return "sem permissão para esse local";
    case ENOSPC:
    case EDQUOT:
      return "o disco está cheio";
    case EROFS:
      return "o disco só permite leitura";
    case ENAMETOOLONG:
      return "o nome é longo demais";
    case EIO:
      return "erro de leitura ou gravação no disco";
    default:
      return "erro do sistema número " + std::to_string(error);
  }
}

}  // namespace kovrad::manager
