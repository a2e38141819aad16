#include "printer.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace kovrad::receipt {
namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

bool WaitFor(int fd, short events, int timeout_ms) {
  pollfd p{fd, events, 0};
  int n;
  do {
    n = poll(&p, 1, timeout_ms);
  } while (n < 0 && errno == EINTR);
  if (n == 0) errno = ETIMEDOUT;
  if (n > 0 && (p.revents & events) == 0) errno = EPIPE;  // hung up or failed
  return n > 0 && (p.revents & events) != 0;
}

bool WriteAll(int fd, const char* data, size_t size, int timeout_ms) {
  size_t done = 0;
  while (done < size) {
    if (!WaitFor(fd, POLLOUT, timeout_ms)) return false;
    // A network printer that hangs up must not end the caller's program
    // with SIGPIPE: sockets are written without it.
    ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = write(fd, data + done, size - done);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// What is already waiting (an answer to an earlier request) is not the
// answer to the next one.
void Discard(int fd) {
  char scratch[256];
  while (WaitFor(fd, POLLIN, 0) && read(fd, scratch, sizeof scratch) > 0) {
  }
}

// DLE EOT n: one byte back, with bits 1 and 4 set and 0 and 7 clear.
bool Ask(int fd, int n, int timeout_ms, unsigned char* answer) {
  const char request[] = {0x10, 0x04, static_cast<char>(n)};
  if (!WriteAll(fd, request, sizeof request, timeout_ms)) return false;
  if (!WaitFor(fd, POLLIN, timeout_ms)) return false;
  if (read(fd, answer, 1) != 1) return false;
  return (*answer & 0x93) == 0x12;
}

// A printer that answers does so at once; one that never answers must not
// hold the extrato up for long.
PrinterStatus ReadStatus(int fd, int timeout_ms) {
  timeout_ms = std::min(timeout_ms, 1000);
  PrinterStatus status;
  Discard(fd);
  unsigned char printer = 0, offline = 0, paper = 0;
  if (!Ask(fd, 1, timeout_ms, &printer)) return status;
  status.known = true;
  status.offline = printer & 0x08;
  if (Ask(fd, 2, timeout_ms, &offline)) {
    status.cover_open = offline & 0x04;
    status.paper_out = offline & 0x20;
    status.error = offline & 0x40;
  }
  if (Ask(fd, 4, timeout_ms, &paper)) {
    status.paper_low = paper & 0x0C;
    status.paper_out = status.paper_out || (paper & 0x60);
  }
  return status;
}

// "tcp:HOST:PORT", the host possibly an IPv6 address in brackets.
int Connect(const std::string& address, int timeout_ms, std::string* problem) {
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) {
    *problem = "endereço de impressora inválido \"tcp:" + address + "\" (use tcp:HOST:PORTA)";
    return -1;
  }
  std::string host = address.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const std::string port = address.substr(colon + 1);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int failed = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); failed != 0) {
    *problem = "impressora " + address + ": " + gai_strerror(failed);
    return -1;
  }
  int fd = -1;
  int reason = ETIMEDOUT;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    int error = 0;
    socklen_t length = sizeof error;
    const bool connected =
        connect(fd, a->ai_addr, a->ai_addrlen) == 0 ||
        (errno == EINPROGRESS && WaitFor(fd, POLLOUT, timeout_ms) &&
         getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0);
    if (!connected) {
      reason = error ? error : errno ? errno : ETIMEDOUT;
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd < 0) *problem = "impressora " + address + ": " + std::strerror(reason);
  return fd;
}

int OpenDevice(const std::string& path, std::string* problem) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  // A device that is written only (no status then) still prints.
  if (fd < 0 && (errno == EACCES || errno == EINVAL)) {
    fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  }
  if (fd < 0) {
    *problem = "impressora " + path + ": " + std::strerror(errno);
    return -1;
  }
  // The status requests would be written into a file as if they were the
  // extrato: only a printer's device is printed to.
  struct stat device {};
  if (fstat(fd, &device) != 0 || !S_ISCHR(device.st_mode)) {
    close(fd);
    *problem = "impressora " + path + ": não é um dispositivo de impressora (/dev/usb/lp*)";
    return -1;
  }
  return fd;
}

PrintOutcome PrintRaw(int fd, const std::string& name, const std::string& bytes, int timeout_ms) {
  PrintOutcome outcome;
  outcome.before = ReadStatus(fd, timeout_ms);
  if (!Ready(outcome.before)) {
    outcome.message =
        "nada foi impresso: " + Describe(outcome.before) + ". Resolva e reimprima o extrato.";
    return outcome;
  }
  if (!WriteAll(fd, bytes.data(), bytes.size(), timeout_ms)) {
    outcome.message = "a impressão falhou (" + name + ": " + std::strerror(errno) +
                      "); o extrato pode ter saído incompleto: reimprima.";
    return outcome;
  }
  outcome.after = ReadStatus(fd, timeout_ms);
  // One that answered before and not after went away while printing.
  if (outcome.before.known && !outcome.after.known) {
    outcome.message =
        "a impressora não respondeu depois da impressão; o extrato pode ter "
        "saído incompleto: reimprima.";
    return outcome;
  }
  if (!Ready(outcome.after)) {
    outcome.message = "a impressora parou (" + Describe(outcome.after) +
                      "); o extrato pode ter saído incompleto: reimprima.";
    return outcome;
  }
  outcome.printed = true;
  outcome.message = "extrato impresso; " + Describe(outcome.after);
  return outcome;
}

PrintOutcome PrintCups(const std::string& queue, const std::string& bytes) {
  PrintOutcome outcome;
  const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.c_str(), "extrato", 0, nullptr);
  if (job == 0) {
    outcome.message = "fila CUPS " + queue + ": " + cupsLastErrorString() + "; nada foi impresso.";
    return outcome;
  }
  if (cupsStartDocument(CUPS_HTTP_DEFAULT, queue.c_str(), job, "extrato", CUPS_FORMAT_RAW, 1) !=
          HTTP_STATUS_CONTINUE ||
      cupsWriteRequestData(CUPS_HTTP_DEFAULT, bytes.data(), bytes.size()) != HTTP_STATUS_CONTINUE ||
      cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.c_str()) > IPP_STATUS_OK_CONFLICTING) {
    outcome.message =
        "fila CUPS " + queue + ": " + cupsLastErrorString() + "; reimprima o extrato.";
    cupsCancelJob(queue.c_str(), job);
    return outcome;
  }
  outcome.printed = true;
  outcome.message = "extrato enviado à fila " + queue + " (trabalho " + std::to_string(job) + ")";
  return outcome;
}

}  // namespace

std::string Describe(const PrinterStatus& status) {
  if (!status.known) return "a impressora não informou seu estado";
  std::vector<std::string> faults;
  if (status.paper_out) faults.push_back("sem papel: coloque uma bobina nova");
  if (status.cover_open) faults.push_back("tampa aberta: feche a tampa");
  if (status.error) faults.push_back("erro na impressora: desligue e ligue a impressora");
  if (status.offline && faults.empty()) faults.push_back("impressora fora de linha");
  if (faults.empty()) {
    return status.paper_low ? "impressora pronta, papel acabando: troque a bobina em breve"
                            : "impressora pronta";
  }
  std::string words;
  for (const std::string& fault : faults) words += (words.empty() ? "" : "; ") + fault;
  return words;
}

bool Ready(const PrinterStatus& status) {
  return !status.known ||
         !(status.offline || status.cover_open || status.paper_out || status.error);
}

PrintOutcome Print(const std::string& destination, const std::string& bytes, int timeout_ms) {
  if (destination.starts_with("cups:")) return PrintCups(destination.substr(5), bytes);
  std::string problem;
  Fd fd(destination.starts_with("tcp:") ? Connect(destination.substr(4), timeout_ms, &problem)
                                        : OpenDevice(destination, &problem));
  if (fd.get() < 0) {
    PrintOutcome outcome;
    outcome.message = problem + "; nada foi impresso.";
    return outcome;
  }
  return PrintRaw(fd.get(), destination, bytes, timeout_ms);
}

}  // namespace kovrad::receipt
