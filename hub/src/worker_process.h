// The hub's end of one worker: starts `<this program> --worker` for a port,
// exchanges messages with it, and ends it.
#pragma once

#include <sys/types.h>

#include <string>

#include "protocol.h"

namespace kovrad::hub {

class WorkerProcess {
 public:
  // `program`: the hub's own executable.
  WorkerProcess(std::string program, int port) : program_(std::move(program)), port_(port) {}
  ~WorkerProcess() { Stop(); }
  WorkerProcess(const WorkerProcess&) = delete;
  WorkerProcess& operator=(const WorkerProcess&) = delete;

  // Starts the process when none is running; false when it cannot.
  bool EnsureRunning();
  enum class Sent {
    kAnswered,
    kNotSent,  // no worker could take it: the device was not called
    kLost,     // taken, but no reply came within the time (the worker is
               // then ended, so a late reply cannot pass for the next one's)
  };
  Sent Call(const Message& request, Message* reply, int timeout_ms);
  // SIGKILL and reap.
  void Stop();

  pid_t pid() const { return pid_; }

 private:
  std::string program_;
  int port_;
  pid_t pid_ = -1;
  int fd_ = -1;
};

}  // namespace kovrad::hub
