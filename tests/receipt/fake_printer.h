// A thermal printer for tests: it records every byte it is sent and answers
// the real-time status requests (DLE EOT n) from a status it is given.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace kovrad::receipt::test {

// The answers to DLE EOT 1, 2 and 4: bits 1 and 4 are always set.
struct FakeStatus {
  unsigned char printer = 0x12, offline = 0x12, paper = 0x12;
  bool silent = false;  // answers nothing, as many printers do
};
inline constexpr FakeStatus kReady{};
inline constexpr FakeStatus kPaperOut{0x1A, 0x32, 0x72};
inline constexpr FakeStatus kCoverOpen{0x1A, 0x16, 0x12};

class FakePrinter {
 public:
  // Serves `fd`, already open; `stop_on_eof` for a connection.
  void Serve(int fd) {
    std::string pending;
    char chunk[4096];
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 50) == 0) {
        if (stop_) return;
        continue;
      }
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n <= 0) return;
      std::lock_guard lock(mutex_);
      for (ssize_t i = 0; i < n; ++i) {
        received_ += chunk[i];
        if (received_.size() >= 3 && received_[received_.size() - 3] == 0x10 &&
            received_[received_.size() - 2] == 0x04) {
          Answer(fd, received_.back());
          received_.resize(received_.size() - 3);
          requests_ += 1;
        }
      }
      if (received_.size() >= fail_after_ && fail_after_ > 0) status_ = kPaperOut;
      if (received_.size() >= hang_up_after_ && hang_up_after_ > 0) return;
    }
  }

  void Set(const FakeStatus& status) {
    std::lock_guard lock(mutex_);
    status_ = status;
  }
  // Runs out of paper once `bytes` of the extrato have arrived.
  void RunOutAfter(size_t bytes) { fail_after_ = bytes; }
  // Stops serving (a connection: hangs up) once `bytes` have arrived.
  void HangUpAfter(size_t bytes) { hang_up_after_ = bytes; }
  void Stop() { stop_ = true; }
  // What was printed, without the status requests.
  std::string Received() {
    std::lock_guard lock(mutex_);
    return received_;
  }
  int Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void Answer(int fd, char n) {
    if (status_.silent) return;
    const unsigned char answer = n == 1   ? status_.printer
                                 : n == 2 ? status_.offline
                                          : status_.paper;
    (void)!write(fd, &answer, 1);
  }

  std::mutex mutex_;
  FakeStatus status_;
  std::string received_;
  int requests_ = 0;
  size_t fail_after_ = 0;
  size_t hang_up_after_ = 0;
  std::atomic<bool> stop_ = false;
};

// The printer on a raw TCP port of 127.0.0.1, one connection at a time.
class TcpPrinter : public FakePrinter {
 public:
  TcpPrinter() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 4);
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 50) == 0) {
          if (done_) return;
          continue;
        }
        const int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0) return;
        Serve(connection);
        close(connection);
      }
    });
  }
  ~TcpPrinter() {
    done_ = true;
    Stop();
    thread_.join();
    close(listener_);
  }
  std::string Destination() const { return "tcp:127.0.0.1:" + std::to_string(port_); }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> done_ = false;
  std::thread thread_;
};

}  // namespace kovrad::receipt::test
