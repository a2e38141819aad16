// satcli: every function of the SAT device library from the shell.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

#include "archive_command.h"
#include "command_line.h"
#include "extrato.h"
#include "i18n/messages.h"

namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  kovrad::i18n::UseMessages("satcli");
  // The library writes trace lines to standard output. They go to standard
  // error instead, so that what satcli prints (JSON above all) stands alone.
  const int output = dup(STDOUT_FILENO);
  if (output < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    std::cerr << "satcli: standard output: " << std::strerror(errno) << "\n";
    return 2;
  }
  std::ostringstream printed;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const size_t command = kovrad::cli::CommandIndex(args);
  const int status =
      command < args.size() && args[command] == "arquivo"
          ? kovrad::cli::RunArchive({args.begin() + static_cast<long>(command) + 1, args.end()},
                                    printed, std::cerr)
          : kovrad::cli::RunWithExtrato(args, printed, std::cerr);
  std::cout.flush();
  if (!WriteAll(output, printed.str())) {
    std::cerr << "satcli: standard output: " << std::strerror(errno) << "\n";
    return status == 0 ? 1 : status;
  }
  return status;
}
