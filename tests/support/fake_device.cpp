#include "fake_device.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace kovrad::test {
namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void WriteAll(int fd, const uint8_t* data, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = write(fd, data + done, count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 100);
    } else {
      return;
    }
  }
}

}  // namespace

uint32_t Request::length() const {
  return frame.size() >= 8 ? Le32(frame.data() + 4) : 0;
}

std::string Request::text() const {
  if (frame.size() < 9) return {};
  return std::string(reinterpret_cast<const char*>(frame.data() + 8), frame.size() - 9);
}

bool Request::checksum_ok() const {
  if (frame.size() < 9) return false;
  unsigned sum = 0;
  for (size_t i = 1; i + 1 < frame.size(); ++i) sum += frame[i];
  return static_cast<uint8_t>(sum) == frame.back();
}

Bytes ReplyFrame(std::string_view text, uint8_t control) {
  Bytes f(14 + text.size(), 0);
  f[0] = control;
  const auto n = static_cast<uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) f[9 + i] = static_cast<uint8_t>(n >> (8 * i));
  if (!text.empty()) std::memcpy(f.data() + 13, text.data(), text.size());
  unsigned sum = 0;
  for (size_t i = 1; i + 1 < f.size(); ++i) sum += f[i];
  f.back() = static_cast<uint8_t>(sum);
  return f;
}

Answer Answer::Text(std::string_view reply) {
  return Frame(ReplyFrame(reply));
}

Answer Answer::Frame(Bytes frame) {
  Answer a;
  a.chunks.push_back({std::move(frame), 0});
  return a;
}

FakeDevice::FakeDevice(const std::string& dir, int number) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  const char* slave = ptsname(master_);
  // Holding the slave open keeps the master readable while the library
  // opens and closes the port around each exchange.
  slave_keepalive_ = open(slave, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  tcgetattr(slave_keepalive_, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave_keepalive_, TCSANOW, &tio);
  fs::create_directories(dir + "/dev");
  link_ = dir + "/dev/ttyACM" + std::to_string(number);
  fs::remove(link_);
  fs::create_symlink(slave, link_);
  if (pipe(stop_pipe_) != 0) throw std::runtime_error("no pipe");
  thread_ = std::thread([this] { Serve(); });
}

FakeDevice::~FakeDevice() {
  const char stop = 1;
  (void)!write(stop_pipe_[1], &stop, 1);
  thread_.join();
  close(stop_pipe_[0]);
  close(stop_pipe_[1]);
  close(slave_keepalive_);
  close(master_);
  std::error_code ec;
  fs::remove(link_, ec);
}

void FakeDevice::OnRequest(Script script) {
  std::lock_guard lock(mutex_);
  script_ = std::move(script);
}

void FakeDevice::AnswerAll(std::string reply) {
  const size_t bar = reply.find('|');
  const bool numbered =
      bar != std::string::npos && bar > 0 && reply.find_first_not_of("-0123456789") == bar;
  OnRequest([reply, numbered, bar](const Request& request) {
    if (!numbered) return Answer::Text(reply);
    // A device answers under the session number of the request.
    const std::string text = request.text();
    return Answer::Text(text.substr(0, text.find('|')) + reply.substr(bar));
  });
}

void FakeDevice::HoldInput(bool hold) {
  tcflow(slave_keepalive_, hold ? TCOOFF : TCOON);
}

bool FakeDevice::WaitForRequests(size_t count, int timeout_ms) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return answered_ >= count; });
}

std::vector<Request> FakeDevice::requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

// Reads `count` bytes from the master; false when asked to stop.
bool FakeDevice::ReadExactly(uint8_t* out, size_t count) {
  size_t got = 0;
  while (got < count) {
    pollfd p[2] = {{master_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (poll(p, 2, -1) < 0 && errno != EINTR) return false;
    if (p[1].revents != 0) return false;
    if ((p[0].revents & POLLIN) == 0) continue;
    ssize_t n = read(master_, out + got, count - got);
    if (n > 0) got += static_cast<size_t>(n);
  }
  return true;
}

void FakeDevice::Serve() {
  for (;;) {
    Request request;
    request.frame.resize(8);
    if (!ReadExactly(request.frame.data(), 8)) return;
    const uint32_t n = request.length();
    request.frame.resize(8 + size_t{n} + 1);
    if (!ReadExactly(request.frame.data() + 8, size_t{n} + 1)) return;
    Answer answer;
    {
      // Recorded before the answer goes out, so a caller that has its reply
      // always finds the request among requests().
      std::lock_guard lock(mutex_);
      if (script_) answer = script_(request);
      requests_.push_back(std::move(request));
    }
    for (const auto& chunk : answer.chunks) {
      if (chunk.pause_ms > 0) {
        pollfd p{stop_pipe_[0], POLLIN, 0};
        if (poll(&p, 1, chunk.pause_ms) > 0) return;
      }
      WriteAll(master_, chunk.bytes.data(), chunk.bytes.size());
    }
    {
      // Waiters are woken once the answer is out, so a test that waited for a
      // request can read the library's result without racing the reply.
      std::lock_guard lock(mutex_);
      ++answered_;
    }
    arrived_.notify_all();
  }
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "kovrad-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary directory");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  if (const char* old = getenv(name)) {
    had_ = true;
    old_ = old;
  }
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedCwd::ScopedCwd(const std::string& dir) : old_(fs::current_path().string()) {
  fs::current_path(dir);
}

ScopedCwd::~ScopedCwd() {
  fs::current_path(old_);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace kovrad::test
