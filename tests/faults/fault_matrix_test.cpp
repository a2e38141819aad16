// Every SAT function against each way a device or its port can fail, each
// case in a process of its own (fault_probe) against a satemu of its own, many
// at once. For each the library must give the right link error code and
// reply line, leave the port closed, and make the next call work normally.
//
// The library waits out each function's fixed time limit for a missing reply
// and there is no way to shorten it. The faults that make it wait (no reply,
// a reply later than the limit, the device gone mid-exchange) therefore run
// only against the functions whose limit is at most 20 s: ConsultarSAT (5 s),
// CancelarUltimaVenda (10 s), EnviarDadosVenda (16 s), TesteFimAFim,
// ConsultarStatusOperacional, ConsultarNumeroSessao,
// ConfigurarInterfaceDeRede and DesbloquearSAT (20 s). The others wait 120 s
// (ExtrairLogs, TrocarCodigoDeAtivacao), 300 s (AtivarSAT,
// ComunicarCertificadoICPBRASIL, BloquearSAT), 900 s (AssociarAssinatura) or
// 1800 s (AtualizarSoftwareSAT), far too long for a test run; they share the
// same wait and meet every other fault here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_device.h"
#include "probe_protocol.h"
#include "sat_functions.h"
#include "satemu_process.h"

extern char** environ;

namespace kovrad::test {
namespace {

constexpr char kTimeoutLine[] = "000042|9999|Timeout de comunica\xE7\xE3o";
constexpr char kTimeoutMessage[] = "Timeout na comunica\xE7\xE3o com o equipamento.";
constexpr char kPortMessage[] = "Erro ao tentar abrir a porta de comunicacao!!";
constexpr char kNoPortLine[] = "Erro ao tentar abrir a porta";
constexpr int kParallel = 8;
// Beyond a case's own waits: process start-up under the sanitizers, a busy machine.
constexpr int kSlackMs = 60000;

enum class Mode {
  kPlain,  // the fault, if any, is satemu's
  kHold,   // another program holds the port during the call
  kLate,   // the reply comes after the limit and must be thrown away
  kGone,   // satemu is killed while it holds the reply back, then restarted
};

struct Case {
  const SatFunction* function;
  std::string fault;  // satemu's --fault, for this function only
  Mode mode = Mode::kPlain;
};

using Report = std::map<std::string, std::string>;

struct Outcome {
  Case what;
  Report report;
  std::string problem;  // why the case could not be run to its end
};

int64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

// Satemu waits for its ready line; one start at a time keeps that wait short.
std::mutex start_mutex;

std::unique_ptr<Satemu> StartDevice(const std::string& dir, std::vector<std::string> args) {
  std::lock_guard<std::mutex> lock(start_mutex);
  return std::make_unique<Satemu>(dir, std::move(args));
}

// The probe, with KOVRAD_DEV_DIR set for it alone; its standard input and
// output as pipes.
pid_t SpawnProbe(const Case& c, const std::string& dev_dir, int* to_probe, int* from_probe) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<std::string> args = {FAULT_PROBE, c.function->name};
  if (c.mode == Mode::kHold) args.push_back("--hold");
  if (c.mode == Mode::kLate) {
    args.insert(args.end(), {"--await-late", std::to_string(c.function->limit_s * 1000 + 10000)});
  }
  std::vector<std::string> env = {"KOVRAD_DEV_DIR=" + dev_dir};
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string_view(*e).starts_with("KOVRAD_DEV_DIR=")) continue;
    env.emplace_back(*e);
  }
  auto pointers = [](std::vector<std::string>& texts) {
    std::vector<char*> p;
    for (auto& t : texts) p.push_back(t.data());
    p.push_back(nullptr);
    return p;
  };
  auto argv = pointers(args), envp = pointers(env);
  pid_t pid = -1;
  if (posix_spawn(&pid, FAULT_PROBE, &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  *to_probe = in[1];
  *from_probe = out[0];
  return pid;
}

// Everything the probe writes until it ends, within `timeout_ms`.
bool ReadAll(int fd, int timeout_ms, std::string* text) {
  const int64_t deadline = NowMs() + timeout_ms;
  char buffer[65536];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int64_t left = deadline - NowMs();
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n > 0) text->append(buffer, static_cast<size_t>(n));
  }
}

// Waits (bounded) until satemu says it has taken the function's request.
bool AwaitRequest(Satemu& device, const std::string& function, int timeout_ms) {
  const int64_t deadline = NowMs() + timeout_ms;
  while (NowMs() < deadline) {
    if (device.Errors().find(function + " -> ") != std::string::npos) return true;
    poll(nullptr, 0, 10);
  }
  return false;
}

Outcome RunCase(const Case& c) {
  Outcome outcome{c, {}, {}};
  TempDir dir;
  std::vector<std::string> args = {"--kit"};
  const std::string fault = c.mode == Mode::kGone ? "delay:600000" : c.fault;
  if (!fault.empty()) args.insert(args.end(), {"--fault", fault, "--fault-only", c.function->name});
  if (c.mode == Mode::kGone) args.push_back("--verbose");
  std::unique_ptr<Satemu> device;
  try {
    device = StartDevice(dir.path(), args);
  } catch (const std::exception& e) {
    outcome.problem = e.what();
    return outcome;
  }
  int to_probe = -1, from_probe = -1;
  const pid_t probe = SpawnProbe(c, device->dev_dir(), &to_probe, &from_probe);
  if (probe < 0) {
    outcome.problem = "fault_probe did not start";
    return outcome;
  }
  const int bound = c.function->limit_s * 2000 + kSlackMs;
  if (c.mode == Mode::kGone) {
    if (!AwaitRequest(*device, c.function->name, kSlackMs)) outcome.problem = "no request came";
    device->Stop(SIGKILL);
    device.reset();
    try {
      device = StartDevice(dir.path(), {"--kit"});
    } catch (const std::exception& e) {
      outcome.problem = e.what();
    }
  }
  close(to_probe);  // go on to the next call
  std::string text;
  const bool finished = ReadAll(from_probe, bound, &text);
  close(from_probe);
  // Its output ends when it exits, after the sanitizers' own checks.
  if (!finished) kill(probe, SIGKILL);
  int status = 0;
  waitpid(probe, &status, 0);
  if (!finished) {
    outcome.problem = "fault_probe did not finish";
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    outcome.problem = "fault_probe failed (status " + std::to_string(status) + ")";
  }
  outcome.report = ParseReport(text);
  return outcome;
}

// Runs the cases, `kParallel` at a time; the outcomes in the cases' order.
std::vector<Outcome> RunAll(const std::vector<Case>& cases) {
  std::vector<Outcome> outcomes(cases.size());
  std::atomic<size_t> next{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kParallel; ++w) {
    workers.emplace_back([&] {
      for (size_t i; (i = next++) < cases.size();) outcomes[i] = RunCase(cases[i]);
    });
  }
  for (auto& worker : workers) worker.join();
  return outcomes;
}

std::vector<Case> EveryFunction(const std::string& fault, Mode mode = Mode::kPlain,
                                int max_limit_s = 1800) {
  std::vector<Case> cases;
  for (const SatFunction& f : kSatFunctions) {
    if (f.limit_s <= max_limit_s) cases.push_back({&f, fault, mode});
  }
  return cases;
}

bool IsSale(const Case& c) {
  return c.function->message == Message::kSale;
}

// The reply the device remembers for the first call's session, as the next
// call fetched it. The sale reply's compressed part comes back expanded, so
// only its fields up to the sixth "|" are compared.
std::string Remembered(const Outcome& o) {
  if (o.what.function->name == std::string_view("ConsultarNumeroSessao")) {
    return "000042|11003|Sess\xC3\xA3o n\xC3\xA3o existe||";
  }
  return o.report.count("next_reply") ? o.report.at("next_reply") : "";
}

std::string SaleFields(const std::string& reply) {
  size_t end = 0;
  for (int bars = 0; bars < 6; ++bars) {
    end = reply.find('|', end);
    if (end == std::string::npos) return reply;
    ++end;
  }
  return reply.substr(0, end);
}

// What every case must show: it ran to its end, the port was closed after
// the call and the next call worked. False (a failure) when the case did not
// run to its end, so there is nothing more to look at.
bool ExpectAfterwards(const Outcome& o) {
  const Report& r = o.report;
  SCOPED_TRACE(o.what.function->name);
  if (!o.problem.empty() || !r.count("next_code")) {
    ADD_FAILURE() << "the case did not run to its end: " << o.problem;
    return false;
  }
  EXPECT_EQ(r.at("open"), "0") << "port left open";
  EXPECT_EQ(r.at("next_code"), "0") << r.at("next_reply");
  EXPECT_EQ(r.at("next_open"), "0") << "port left open after the next call";
  return true;
}

// Link failures: the code, the device-shaped failure line, and the link's
// own message, which only the log extraction and the sale pair replace with
// one composed from the failure line.
void ExpectLinkFailure(const Outcome& o, int code, const char* line, const char* message) {
  const Report& r = o.report;
  SCOPED_TRACE(o.what.function->name);
  ASSERT_TRUE(r.count("code"));
  EXPECT_EQ(r.at("code"), std::to_string(code));
  EXPECT_EQ(r.at("reply"), line);
  switch (o.what.function->message) {
    case Message::kLogFields:
      EXPECT_EQ(r.at("msg"),
                code == __TIMEOUT__ ? "Codigo: 9999.\nTimeout de comunica\xE7\xE3o" : message);
      break;
    case Message::kSale:
      EXPECT_EQ(r.at("msg"), code == __TIMEOUT__ ? "Codigo: 9999.\n" : "Codigo: .\n");
      break;
    default:
      EXPECT_EQ(r.at("msg"), message);
  }
}

TEST(FaultMatrix, AReplySplitOverReadsOrWithABadChecksumIsTakenWhole) {
  std::vector<Case> cases = EveryFunction("split:150");
  const std::vector<Case> checksum = EveryFunction("checksum");
  cases.insert(cases.end(), checksum.begin(), checksum.end());
  for (const Outcome& o : RunAll(cases)) {
    SCOPED_TRACE(o.what.fault);
    if (!ExpectAfterwards(o)) continue;
    EXPECT_EQ(o.report.at("code"), "0") << o.what.function->name;
    const std::string remembered = Remembered(o);
    EXPECT_EQ(IsSale(o.what) ? SaleFields(o.report.at("reply")) : o.report.at("reply"),
              IsSale(o.what) ? SaleFields(remembered) : remembered)
        << o.what.function->name;
  }
}

TEST(FaultMatrix, AnOversizedReplyIsCutToTheReceiveBuffer) {
  for (const Outcome& o : RunAll(EveryFunction("oversized"))) {
    if (!ExpectAfterwards(o)) continue;
    SCOPED_TRACE(o.what.function->name);
    EXPECT_EQ(o.report.at("code"), "0");
    // The receive buffer holds a whole 2 MiB reply text behind its header.
    EXPECT_EQ(o.report.at("reply_length"), std::to_string(2097152));
    const std::string remembered = IsSale(o.what) ? SaleFields(Remembered(o)) : Remembered(o);
    EXPECT_EQ(o.report.at("reply").substr(0, remembered.size()), remembered);
  }
}

TEST(FaultMatrix, GarbageBeforeTheFrameIsSkipped) {
  for (const Outcome& o : RunAll(EveryFunction("garbage:16"))) {
    if (!ExpectAfterwards(o)) continue;
    SCOPED_TRACE(o.what.function->name);
    EXPECT_EQ(o.report.at("code"), "0");
    const std::string remembered = Remembered(o);
    EXPECT_EQ(IsSale(o.what) ? SaleFields(o.report.at("reply")) : o.report.at("reply"),
              IsSale(o.what) ? SaleFields(remembered) : remembered);
  }
}

TEST(FaultMatrix, AnyReplyTextComposesEachFunctionsMessage) {
  const std::string text = "000042|12345|Resposta fixa|0|Aviso";
  for (const Outcome& o : RunAll(EveryFunction("text:" + text))) {
    if (!ExpectAfterwards(o)) continue;
    SCOPED_TRACE(o.what.function->name);
    EXPECT_EQ(o.report.at("code"), "0");
    EXPECT_EQ(o.report.at("reply"), text);
    const std::map<Message, std::string> message = {
        {Message::kFields, "Codigo: 12345.\nResposta fixa"},
        {Message::kLogFields, "Codigo: 12345.\nResposta fixa"},
        {Message::kNone, ""},
        {Message::kWhole, text},
        // The sale pair's message is the fourth field.
        {Message::kSale, "Codigo: 12345.\n0"},
    };
    EXPECT_EQ(o.report.at("msg"), message.at(o.what.function->message));
  }
}

TEST(FaultMatrix, APortHeldByAnotherProgramCannotBeOpened) {
  for (const Outcome& o : RunAll(EveryFunction("", Mode::kHold))) {
    if (!ExpectAfterwards(o)) continue;
    EXPECT_EQ(o.report.at("held"), "1");
    ExpectLinkFailure(o, __NOCONNECT__, kNoPortLine, kPortMessage);
    // The device never saw the request.
    if (o.what.function->name != std::string_view("ConsultarNumeroSessao")) {
      EXPECT_EQ(o.report.at("next_reply"), "000043|11003|Sess\xC3\xA3o n\xC3\xA3o existe||");
    }
  }
}

// The waiting faults, all at once: the longest case sets the pace. A control
// frame carries no reply text, so it is not the reply either.
TEST(FaultMatrix, NoReplyALateReplyAControlFrameAndADeviceGoneAreTimeOutsAtTheLimit) {
  constexpr int kWaitedLimit = 20;
  std::vector<Case> cases;
  for (const Case& c : EveryFunction("silent", Mode::kPlain, kWaitedLimit)) {
    cases.push_back(c);
    cases.push_back(
        {c.function, "delay:" + std::to_string(c.function->limit_s * 1000 + 2000), Mode::kLate});
    cases.push_back({c.function, "", Mode::kGone});
    cases.push_back({c.function, "control:0x15"});
  }
  ASSERT_EQ(cases.size(), 32u);
  std::vector<Outcome> outcomes;
  {
    // All 32 wait at the same time, most of them for 20 s.
    std::vector<std::thread> threads;
    outcomes.resize(cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
      threads.emplace_back([&, i] { outcomes[i] = RunCase(cases[i]); });
    }
    for (auto& t : threads) t.join();
  }
  for (const Outcome& o : outcomes) {
    SCOPED_TRACE(o.what.mode == Mode::kGone ? "device gone" : o.what.fault);
    if (!ExpectAfterwards(o)) continue;
    ExpectLinkFailure(o, __TIMEOUT__, kTimeoutLine, kTimeoutMessage);
    const long long limit_ms = o.what.function->limit_s * 1000LL;
    const long long waited = std::stoll(o.report.at("wall_ms"));
    EXPECT_GE(waited, limit_ms) << o.what.function->name;
    EXPECT_LT(waited, limit_ms + 10000) << o.what.function->name;
    // A line that hung up still waits between polls, never spinning: a spin
    // would burn about as much CPU as the wall time, a quarter leaves room
    // for a busy or instrumented machine.
    EXPECT_LT(std::stoll(o.report.at("cpu_ms")), limit_ms / 4) << o.what.function->name;
    // CPU time shrinks when a spinning wait shares a busy machine; sleeping
    // does not: at least half the ten polls a second must have slept.
    EXPECT_GE(std::stoll(o.report.at("sleeps")), waited / 200) << o.what.function->name;
    if (o.what.mode == Mode::kLate) {
      EXPECT_EQ(o.report.at("late"), "1") << o.what.function->name;
    }
    // The device did answer, too late or never sent; it keeps the reply.
    if (o.what.function->name != std::string_view("ConsultarNumeroSessao")) {
      EXPECT_EQ(o.report.at("next_reply").substr(0, 7), "000042|") << o.what.function->name;
    }
  }
}

}  // namespace
}  // namespace kovrad::test
