#include "device_pool.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>

#include "binding.h"
#include "catalog.h"
#include "log.h"
#include "recovery.h"
#include "replies.h"

namespace kovrad::hub {
namespace {

// Past the function's own time limit, the library has failed to return.
constexpr int kWorkerGraceMs = 10000;

int WorkerTimeout(const std::string& function) {
  const cli::Function* f = cli::FindFunction(function);
  return (f != nullptr ? f->time_limit_ms : 0) + kWorkerGraceMs;
}

}  // namespace

Device::Device(DeviceConfig config, std::string program, int recovery_attempts, Metrics* metrics,
               SessionSource sessions)
    : config_(std::move(config)),
      recovery_attempts_(recovery_attempts),
      metrics_(metrics),
      sessions_(std::move(sessions)),
      worker_(std::move(program), config_.port) {
  thread_ = std::thread([this] { Run(); });
}

Device::~Device() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

std::future<Result> Device::Submit(Job job) {
  std::promise<Result> promise;
  std::future<Result> future = promise.get_future();
  {
    std::lock_guard lock(mutex_);
    queue_.emplace_back(std::move(job), std::move(promise));
  }
  wake_.notify_one();
  return future;
}

size_t Device::depth() const {
  std::lock_guard lock(mutex_);
  return queue_.size() + (busy_ ? 1 : 0);
}

void Device::Run() {
  while (true) {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) break;
    auto [job, promise] = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    promise.set_value(Perform(job));
    lock.lock();
    busy_ = false;
  }
  worker_.Stop();
}

WorkerProcess::Sent Device::Exchange(const std::string& function, int32_t session,
                                     const std::vector<std::string>& arguments,
                                     std::string* reply) {
  Message request = {function, std::to_string(session)};
  request.insert(request.end(), arguments.begin(), arguments.end());
  Message answer;
  WorkerProcess::Sent sent = worker_.Call(request, &answer, WorkerTimeout(function));
  // A worker that died between calls is noticed on the way in: the device
  // never saw this request, so it goes to the new worker.
  if (sent == WorkerProcess::Sent::kNotSent) {
    sent = worker_.Call(request, &answer, WorkerTimeout(function));
  }
  const pid_t now = worker_.pid();
  if (now > 0 && pid_ > 0 && now != pid_) {
    metrics_->WorkerRestart(config_.serial);
    Log(Level::kWarning, "SAT " + config_.serial + ": processo " + std::to_string(pid_) +
                             " terminou; reiniciado como " + std::to_string(now));
  }
  if (now > 0) pid_ = now;
  if (sent == WorkerProcess::Sent::kAnswered) *reply = answer[0];
  return sent;
}

Result Device::Perform(const Job& job) {
  if (job.recover_only) {
    return Recover(job, FailureLine(job.session, "Requisição interrompida; resultado em apuração"));
  }
  std::string reply;
  switch (Exchange(job.function, job.session, job.arguments, &reply)) {
    case WorkerProcess::Sent::kNotSent:
      Log(Level::kError, "SAT " + config_.serial + ": processo do dispositivo não inicia");
      return {FailureLine(job.session, "Processo do SAT indisponível no hub"), State::kDone, false,
              true};
    case WorkerProcess::Sent::kLost:
      reply = FailureLine(job.session, "O processo do SAT terminou durante a chamada");
      if (IsFiscal(job.function)) return Recover(job, reply);
      return {reply, State::kDone, false, false};
    case WorkerProcess::Sent::kAnswered:
      break;
  }
  // A session lookup answers with the reply stored under the number looked up.
  const bool lookup_reply = job.function == "ConsultarNumeroSessao" && job.arguments.size() == 2 &&
                            SameSession(reply, std::atoi(job.arguments[1].c_str()));
  if (!SameSession(reply, job.session) && !lookup_reply && !ResultCode(reply).empty()) {
    Log(Level::kWarning, "SAT " + config_.serial + ": resposta de outra sessão descartada (" +
                             std::string(SplitFields(reply).front()) + ")");
    reply = FailureLine(job.session, "Resposta do SAT pertence a outra sessão; descartada");
  }
  if (NeedsRecovery(job.function, reply)) return Recover(job, reply);
  return {reply, State::kDone, false, false};
}

Result Device::Recover(const Job& job, const std::string& original) {
  Log(Level::kNotice, "SAT " + config_.serial + ": " + job.function + " da sessão " +
                          std::to_string(job.session) + " sem resposta completa; consultando");
  for (int attempt = 1; attempt <= recovery_attempts_; ++attempt) {
    if (attempt > 1) std::this_thread::sleep_for(std::chrono::milliseconds(500 * (attempt - 1)));
    std::string lookup;
    const int32_t own = sessions_(config_.serial);
    const auto sent =
        Exchange("ConsultarNumeroSessao", own, {job.code, std::to_string(job.session)}, &lookup);
    if (sent != WorkerProcess::Sent::kAnswered) continue;
    // A stored reply names the session looked up, the device's own answers
    // the lookup's session; any other reply is a stale one.
    if (!SameSession(lookup, job.session) && !SameSession(lookup, own)) continue;
    switch (ReadLookup(job.function, lookup)) {
      case Lookup::kFound:
        metrics_->Recovery(config_.serial);
        Log(Level::kNotice, "SAT " + config_.serial + ": sessão " + std::to_string(job.session) +
                                " recuperada, código " + std::string(ResultCode(lookup)));
        return {lookup, State::kDone, true, false};
      case Lookup::kNotMade:
        Log(Level::kNotice, "SAT " + config_.serial + ": sessão " + std::to_string(job.session) +
                                " não chegou ao SAT");
        return {original, State::kDone, false, false};
      case Lookup::kUnresolved:
        attempt = recovery_attempts_;
        break;
      case Lookup::kRetry:
        break;
    }
  }
  Log(Level::kWarning, "SAT " + config_.serial + ": sessão " + std::to_string(job.session) +
                           " sem confirmação; será consultada de novo");
  return {original, State::kUncertain, false, false};
}

std::vector<DeviceConfig> DiscoverDevices(const std::string& code) {
  manager::Library library;
  const manager::Reply map = KOVRAD_SAT(library, GetMapaPortasSAT, code.c_str());
  if (!map.called) {
    Log(Level::kError, map.problem);
    return {};
  }
  std::vector<DeviceConfig> devices;
  size_t start = 0;
  while (start < map.text.size()) {
    size_t end = map.text.find(';', start);
    if (end == std::string::npos) end = map.text.size();
    const std::string entry = map.text.substr(start, end - start);
    start = end + 1;
    const size_t colon = entry.find(':');
    if (colon == std::string::npos) continue;
    const std::string port = entry.substr(colon + 1);
    int number = -1;
    const char* digits = port.c_str() + std::min<size_t>(port.size(), 6);
    const char* last = port.c_str() + port.size();
    const auto parsed = std::from_chars(digits, last, number);
    if (port.starts_with("ttyACM") && parsed.ec == std::errc() && parsed.ptr == last &&
        digits != last) {
      devices.push_back({entry.substr(0, colon), number, {}});
    } else {
      Log(Level::kWarning,
          "SAT " + entry.substr(0, colon) + " em " + port + ": porta fora de ttyACM<N>, ignorado");
    }
  }
  return devices;
}

}  // namespace kovrad::hub
