// A scripted SAT device on a real pseudo-terminal, published the way the
// library looks for ports: <dir>/dev/ttyACM<n>. Tests tell it what to answer
// to each request frame and read back exactly what the library sent.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kovrad::test {

using Bytes = std::vector<uint8_t>;

// One request frame as the device received it.
struct Request {
  Bytes frame;  // the whole frame, header and checksum included
  uint8_t sequence() const { return frame[1]; }
  uint32_t length() const;
  std::string text() const;  // the request text (may hold zero bytes)
  bool checksum_ok() const;
};

// What the device does with one request: the chunks it writes, in order,
// with an optional pause before each (a split reply). No chunks: silence.
struct Answer {
  struct Chunk {
    Bytes bytes;
    int pause_ms = 0;
  };
  std::vector<Chunk> chunks;

  static Answer Text(std::string_view reply);
  static Answer Frame(Bytes frame);
  static Answer Silence() { return {}; }
};

// A reply frame: control code, L, the text and its checksum.
Bytes ReplyFrame(std::string_view text, uint8_t control = 0x01);

class FakeDevice {
 public:
  using Script = std::function<Answer(const Request&)>;

  // Creates the terminal under `dir`/dev as ttyACM<number>.
  FakeDevice(const std::string& dir, int number = 0);
  ~FakeDevice();
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  void OnRequest(Script script);
  // Answers every request with this reply text; a reply that begins with a
  // session number gets the request's instead, as a device answers.
  void AnswerAll(std::string reply);

  // Stops taking bytes from the line, as a device whose input is full, so a
  // request cannot be written; false takes them again.
  void HoldInput(bool hold);

  // Waits (bounded) until `count` requests have arrived; false on time-out.
  bool WaitForRequests(size_t count, int timeout_ms = 5000);
  std::vector<Request> requests();
  const std::string& port_path() const { return link_; }

 private:
  void Serve();
  bool ReadExactly(uint8_t* out, size_t count);

  int master_ = -1;
  int slave_keepalive_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::string link_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Request> requests_;
  size_t answered_ = 0;
  Script script_;
  std::thread thread_;
};

// A fresh temporary directory, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

// Changes the current directory for the life of the object.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir);
  ~ScopedCwd();

 private:
  std::string old_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view content);

}  // namespace kovrad::test
