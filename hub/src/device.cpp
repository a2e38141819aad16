#include "device.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "client/binding.h"
#include "client/port_check.h"
#include "client/recovery.h"
#include "client/reply_line.h"
#include "log.h"

namespace kovrad::hub {
namespace {

// Past the function's own time limit, the library has failed to return.
constexpr int kWorkerGraceMs = 10000;
// Between session lookups that found the link down.
constexpr int kLookupPauseMs = 500;

int WorkerTimeout(const client::Function& function) {
  return function.time_limit_ms + kWorkerGraceMs;
}

const client::Function& SessionLookupFunction() {
  static const client::Function& lookup = *client::FindFunction("ConsultarNumeroSessao");
  return lookup;
}

// The N of "ttyACM<N>"; nothing for any other name.
std::optional<int> PortNumber(const std::string& port) {
  constexpr std::string_view kPrefix = "ttyACM";
  if (!port.starts_with(kPrefix) || port.size() == kPrefix.size()) return std::nullopt;
  int number = -1;
  const char* last = port.c_str() + port.size();
  const auto parsed = std::from_chars(port.c_str() + kPrefix.size(), last, number);
  if (parsed.ec != std::errc() || parsed.ptr != last) return std::nullopt;
  return number;
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

WorkerProcess::Sent Device::Exchange(const client::Function& function, int32_t session,
                                     const std::vector<std::string>& arguments, std::string* reply,
                                     int32_t* link_code) {
  Message request = {std::string(function.export_name), std::to_string(session)};
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
  if (sent == WorkerProcess::Sent::kAnswered) {
    *reply = answer[0];
    *link_code = std::atoi(answer[1].c_str());
  }
  return sent;
}

Result Device::Perform(const Job& job) {
  if (job.recover_only) {
    return Recover(
        job, client::FailureLine(job.session, "Requisição interrompida; resultado em apuração"));
  }
  std::string reply;
  int32_t link_code = 0;
  switch (Exchange(*job.function, job.session, job.arguments, &reply, &link_code)) {
    case WorkerProcess::Sent::kNotSent:
      Log(Level::kError, "SAT " + config_.serial + ": processo do dispositivo não inicia");
      return {client::FailureLine(job.session, "Processo do SAT indisponível no hub"), State::kDone,
              false, true};
    case WorkerProcess::Sent::kLost:
      reply = client::FailureLine(job.session, "O processo do SAT terminou durante a chamada");
      if (job.function->fiscal) return Recover(job, reply);
      return {reply, State::kDone, false, false};
    case WorkerProcess::Sent::kAnswered:
      break;
  }
  if (job.function->fiscal) {
    if (client::OutcomeUncertain(job.function->export_name, job.session, link_code, reply)) {
      return Recover(job, reply);
    }
    return {reply, State::kDone, false, false};
  }
  // A session lookup answers with the reply stored under the number looked up.
  const bool stored = job.function->passes_through && job.arguments.size() == 2 &&
                      client::SameSession(reply, std::atoi(job.arguments[1].c_str()));
  if (!client::SameSession(reply, job.session) && !stored && reply.find('|') != std::string::npos) {
    Log(Level::kWarning, "SAT " + config_.serial + ": resposta de outra sessão descartada");
    reply = client::FailureLine(job.session, "Resposta do SAT pertence a outra sessão; descartada");
  }
  return {reply, State::kDone, false, false};
}

Result Device::Recover(const Job& job, const std::string& original) {
  Log(Level::kNotice, "SAT " + config_.serial + ": " + std::string(job.function->export_name) +
                          " da sessão " + std::to_string(job.session) +
                          " sem resposta completa; consultando");
  const client::SessionLookup lookup = [this, &job](int32_t own, int32_t looked_up) {
    client::LookupReply answer;
    answer.called = true;
    const auto sent = Exchange(SessionLookupFunction(), own, {job.code, std::to_string(looked_up)},
                               &answer.reply, &answer.link_code);
    // No answer, or the late reply of an earlier exchange: ask again.
    if (sent != WorkerProcess::Sent::kAnswered || (!client::SameSession(answer.reply, looked_up) &&
                                                   !client::SameSession(answer.reply, own))) {
      answer.link_code = __TIMEOUT__;
    }
    return answer;
  };
  const client::Recovery recovery = client::RecoverSale(
      job.function->export_name, job.session, [this] { return sessions_(config_.serial); }, lookup,
      recovery_attempts_, kLookupPauseMs);
  const std::string session = std::to_string(job.session);
  switch (recovery.fate) {
    case client::SaleFate::kMade:
    case client::SaleFate::kRefused:
      metrics_->Recovery(config_.serial);
      Log(Level::kNotice, "SAT " + config_.serial + ": sessão " + session + " recuperada");
      return {recovery.reply, State::kDone, true, false};
    case client::SaleFate::kNotMade:
      Log(Level::kNotice, "SAT " + config_.serial + ": sessão " + session + " não chegou ao SAT");
      return {original, State::kDone, false, false};
    case client::SaleFate::kUnknown:
      break;
  }
  Log(Level::kWarning, "SAT " + config_.serial + ": sessão " + session + " sem confirmação (" +
                           recovery.reason + "); será consultada de novo");
  return {original, State::kUncertain, false, false};
}

std::vector<DeviceConfig> DiscoverDevices(const std::string& code,
                                          const std::function<int32_t()>& draw_session) {
  client::Library library;
  std::vector<DeviceConfig> devices;
  for (const std::string& port : client::SatPorts()) {
    const std::optional<int> number = PortNumber(port);
    if (!number) {
      Log(Level::kWarning, "SAT em " + port + ": porta fora de ttyACM<N>, ignorado");
      continue;
    }
    std::string problem;
    auto* select =
        reinterpret_cast<decltype(::AbreSerialSAT)*>(library.Lookup("AbreSerialSAT", &problem));
    if (select == nullptr) {
      Log(Level::kError, problem);
      return {};
    }
    const int32_t session = draw_session();
    if (session <= 0) {
      Log(Level::kError, "SAT em " + port + ": sem número de sessão do registro, ignorado");
      continue;
    }
    select(*number, 0, 0, 0, 0);
    const client::Reply status =
        KOVRAD_SAT(library, ConsultarStatusOperacional, session, code.c_str());
    const std::string serial(client::ReplyField(status.text, 6));
    if (!status.called || client::ReplyField(status.text, 2) != "10000" || serial.empty()) {
      Log(Level::kWarning, "SAT em " + port + " não informou o número de série: " +
                               (status.called ? status.text : status.problem));
      continue;
    }
    devices.push_back({serial, *number, {}});
  }
  return devices;
}

}  // namespace kovrad::hub
