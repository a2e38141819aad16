#include "service.h"

#include <chrono>

#include <nlohmann/json.hpp>

#include "client/functions.h"
#include "client/reply_line.h"
#include "log.h"

namespace kovrad::hub {
namespace {

std::string RequestText(const Fields& fields) {
  return nlohmann::json(fields).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string ResultCode(const std::string& reply) {
  const std::vector<std::string> fields = client::SplitFields(reply);
  return fields.size() >= 2 ? fields[1] : std::string();
}

bool IsError(const Result& result) {
  const std::string code = ResultCode(result.reply);
  return result.unavailable || result.state != State::kDone || code.empty() || code == "9999";
}

Outcome Refusal(int status, std::string message) {
  Outcome outcome;
  outcome.status = status;
  outcome.message = std::move(message);
  return outcome;
}

}  // namespace

Service::Service(const Config& config, Ledger* ledger, Metrics* metrics,
                 const std::vector<DeviceConfig>& devices, const std::string& program)
    : config_(config), ledger_(ledger), metrics_(metrics) {
  for (const DeviceConfig& device : devices) {
    devices_.push_back(std::make_unique<Device>(
        device, program, config.recovery_attempts, metrics,
        [ledger](const std::string& serial) { return ledger->DrawSession(serial); }));
  }
}

Service::~Service() {
  for (std::thread& t : recoveries_) t.join();
}

Device* Service::Find(const std::string& serial) const {
  for (const auto& device : devices_) {
    if (device->serial() == serial) return device.get();
  }
  return nullptr;
}

Device* Service::ForTill(int till) const {
  const auto mapped = config_.tills.find(till);
  if (mapped != config_.tills.end()) return Find(mapped->second);
  if (!config_.default_device.empty()) return Find(config_.default_device);
  return devices_.size() == 1 ? devices_.front().get() : nullptr;
}

std::string Service::CodeFor(const Device& device) {
  std::lock_guard lock(codes_mutex_);
  auto known = codes_.find(device.serial());
  if (known == codes_.end()) {
    std::string code = ledger_->ActivationCode(device.serial());
    if (code.empty()) code = device.configured_code();
    if (code.empty()) code = config_.activation_code;
    known = codes_.emplace(device.serial(), std::move(code)).first;
  }
  return known->second;
}

std::map<std::string, size_t> Service::Queues() const {
  std::map<std::string, size_t> queues;
  for (const auto& device : devices_) queues[device->serial()] = device->depth();
  return queues;
}

Service::Pending Service::Start(Device& device, const Record& record, Job job) {
  Pending pending{record, device.Submit(std::move(job)), std::make_shared<std::promise<Result>>()};
  in_flight_[record.id] = pending.recorded->get_future().share();
  return pending;
}

Result Service::Complete(Pending& pending) {
  Result result = pending.device.get();
  Record& record = pending.record;
  record.reply = result.reply;
  record.state = result.state;
  record.recovered = result.recovered;
  if (!ledger_->Finish(record, client::IsFiscal(record.function))) {
    Log(Level::kError,
        "registro: resultado da requisição " + std::to_string(record.id) + " não gravado");
  }
  {
    std::lock_guard lock(mutex_);
    in_flight_.erase(record.id);
  }
  pending.recorded->set_value(result);
  return result;
}

void Service::RecoverUnfinished() {
  std::vector<Pending> pending;
  {
    std::lock_guard lock(mutex_);
    for (Record& record : ledger_->Unfinished()) {
      Device* device = Find(record.device);
      if (device == nullptr) {
        Log(Level::kWarning, "requisição " + std::to_string(record.id) + " do SAT " +
                                 record.device + " pendente: SAT não configurado");
        continue;
      }
      const client::Function* function = client::FindFunction(record.function);
      if (function == nullptr || !function->fiscal) {
        // Only sales and cancellations are looked up; what else was running
        // is reported as unknown rather than run again.
        record.state = State::kDone;
        record.reply =
            client::FailureLine(record.session,
                                "Requisição interrompida pelo reinício do hub; resultado "
                                "desconhecido");
        ledger_->Finish(record, false);
        continue;
      }
      Job job{function, record.session, {}, CodeFor(*device), true};
      pending.push_back(Start(*device, record, std::move(job)));
    }
  }
  if (pending.empty()) return;
  Log(Level::kNotice, std::to_string(pending.size()) +
                          " venda(s)/cancelamento(s) da execução anterior em apuração");
  recoveries_.emplace_back([this, pending = std::move(pending)]() mutable {
    for (Pending& p : pending) Complete(p);
  });
}

Outcome Service::Call(const HubFunction& function, int till, const Fields& fields,
                      const std::string& key) {
  Device* device = ForTill(till);
  if (device == nullptr) {
    return Refusal(404, "Nenhum SAT atribuído ao caixa " + std::to_string(till) + ".");
  }
  return Run(*device, function, till, fields, key);
}

Outcome Service::Repeat(Device& device, const Record& found, std::unique_lock<std::mutex>& lock) {
  Outcome outcome;
  outcome.function = found.function;
  outcome.session = found.session;
  outcome.repeated = true;
  if (found.state == State::kDone) {
    outcome.reply = found.reply;
    outcome.recovered = found.recovered;
    return outcome;
  }
  Result r;
  const auto running = in_flight_.find(found.id);
  if (running != in_flight_.end()) {
    const std::shared_future<Result> result = running->second;
    lock.unlock();
    r = result.get();
  } else {
    // Left uncertain: the device is asked again rather than sent it again.
    Pending pending =
        Start(device, found,
              {client::FindFunction(found.function), found.session, {}, CodeFor(device), true});
    lock.unlock();
    r = Complete(pending);
  }
  outcome.reply = r.reply;
  outcome.recovered = r.recovered;
  return outcome;
}

Outcome Service::Run(Device& device, const HubFunction& function, int till, const Fields& fields,
                     const std::string& key) {
  const auto started = std::chrono::steady_clock::now();
  Prepared prepared;
  if (auto problem = function.prepare(fields, CodeFor(device), &prepared)) {
    return Refusal(400, *problem);
  }
  const std::string name(function.function->export_name);
  std::unique_lock lock(mutex_);
  if (!key.empty()) {
    if (const auto found = ledger_->FindByKey(till, key)) {
      if (found->function != name) {
        return Refusal(422, "Idempotency-Key já usada por este caixa em " + found->function + ".");
      }
      // The outcome is the device's that took the request, wherever the
      // till is sent now.
      Device* original = Find(found->device);
      if (original == nullptr) {
        return Refusal(503, "O SAT " + found->device + " desta requisição não está neste hub.");
      }
      return Repeat(*original, *found, lock);
    }
  }
  Record record;
  record.device = device.serial();
  record.till = till;
  record.function = name;
  record.key = key;
  if (!ledger_->Begin(&record, RequestText(fields), function.function->fiscal)) {
    return Refusal(500, "O hub não conseguiu registrar a requisição; nada foi enviado ao SAT.");
  }
  Pending pending =
      Start(device, record,
            {function.function, record.session, prepared.arguments, CodeFor(device), false});
  lock.unlock();
  const Result result = Complete(pending);

  if (!prepared.new_code.empty() && result.state == State::kDone &&
      ResultCode(result.reply) == "18000") {
    if (ledger_->SetActivationCode(device.serial(), prepared.new_code)) {
      Log(Level::kNotice, "SAT " + device.serial() + ": código de ativação trocado");
    } else {
      Log(Level::kError, "SAT " + device.serial() +
                             ": código de ativação trocado mas não gravado no registro; "
                             "configure o novo código antes de reiniciar o hub");
    }
    std::lock_guard codes(codes_mutex_);
    codes_[device.serial()] = prepared.new_code;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  metrics_->Call(device.serial(), name, seconds, IsError(result));
  if (result.unavailable) {
    return Refusal(503, "O SAT " + device.serial() + " está indisponível no hub.");
  }
  Outcome outcome;
  outcome.function = name;
  outcome.reply = result.reply;
  outcome.session = record.session;
  outcome.recovered = result.recovered;
  return outcome;
}

Outcome Service::LastFiscalSession(int till) {
  const auto last = ledger_->LastFiscal(till);
  Device* device = last ? Find(last->device) : nullptr;
  if (device == nullptr) {
    return Refusal(404, "Nenhuma venda ou cancelamento do caixa " + std::to_string(till) +
                            " registrado no hub.");
  }
  Outcome outcome = Run(*device, *FindHubFunction("consultarnumerosessao"), till,
                        {{"numero_sessao", std::to_string(last->session)}}, {});
  if (outcome.status == 200) outcome.function = "ConsultarUltimaSessaoFiscal";
  return outcome;
}

Outcome Service::DeviceStatus(const std::string& serial) {
  Device* device = Find(serial);
  if (device == nullptr) return Refusal(404, "SAT " + serial + " não está neste hub.");
  return Run(*device, *FindHubFunction("consultarstatusoperacional"), -1, {}, {});
}

}  // namespace kovrad::hub
