// The devices the hub serves. Each has its queue and one thread that takes
// the queue in order and hands each call to the device's worker process, so
// calls to one device never overlap and a device that hangs or a worker that
// dies holds up no other device. A worker that dies is started again and
// the queue goes on; a sale or cancellation it was running is recovered.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/functions.h"
#include "config.h"
#include "ledger.h"
#include "metrics.h"
#include "worker_process.h"

namespace kovrad::hub {

struct Job {
  const client::Function* function = nullptr;
  int32_t session = 0;
  std::vector<std::string> arguments;
  std::string code;           // the activation code, for a session lookup
  bool recover_only = false;  // only find out what the device did with `session`
};

struct Result {
  std::string reply;
  State state = State::kDone;
  bool recovered = false;
  bool unavailable = false;  // no worker could be started for the device
};

// Draws a fresh session number for a device (its lookups need their own).
using SessionSource = std::function<int32_t(const std::string& serial)>;

class Device {
 public:
  Device(DeviceConfig config, std::string program, int recovery_attempts, Metrics* metrics,
         SessionSource sessions);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  std::future<Result> Submit(Job job);

  const std::string& serial() const { return config_.serial; }
  int port() const { return config_.port; }
  const std::string& configured_code() const { return config_.activation_code; }
  size_t depth() const;
  pid_t worker_pid() const { return pid_; }

 private:
  void Run();
  Result Perform(const Job& job);
  Result Recover(const Job& job, const std::string& original);
  WorkerProcess::Sent Exchange(const client::Function& function, int32_t session,
                               const std::vector<std::string>& arguments, std::string* reply,
                               int32_t* link_code);

  DeviceConfig config_;
  int recovery_attempts_;
  Metrics* metrics_;
  SessionSource sessions_;
  WorkerProcess worker_;
  std::atomic<pid_t> pid_{-1};

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<Job, std::promise<Result>>> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

// The SAT devices on USB: serial and port of each that answers its status
// query with `code`. Each query takes its session number from
// `draw_session` (the ledger's), never the library's own draw, which is the
// same at every start. Ports the library cannot select by number are left
// out, with a warning.
std::vector<DeviceConfig> DiscoverDevices(const std::string& code,
                                          const std::function<int32_t()>& draw_session);

}  // namespace kovrad::hub
