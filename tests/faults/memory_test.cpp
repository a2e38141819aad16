// The library's memory: its module buffers are reserved at load and
// committed only as exchanges use them, and 10,000 exchanges of every kind
// leave nothing behind. Under the sanitize preset LeakSanitizer checks the
// latter at exit; elsewhere the resident size must stay flat.
#include <gtest/gtest.h>

#include <string>

#include "cfe_document.h"
#include "fake_device.h"
#include "kovrad.h"
#include "pty_responder.h"
#include "resident.h"
#include "sale_codec.h"
#include "sat_functions.h"
#include "sysfs_tree.h"

namespace kovrad::test {
namespace {

constexpr int kExchanges = 10000;
constexpr size_t kMiB = 1024 * 1024;

// Field 1 of a reply: the request's session number.
std::string SessionOf(std::string_view request) {
  return std::string(request.substr(0, request.find('|')));
}

// Answers like a device at once: each function with a reply of its kind,
// TesteFimAFim's behind bytes that are no reply (which the library drops).
std::string Answer(std::string_view request, const std::string& coupon) {
  const std::string session = SessionOf(request);
  const size_t from = request.find('|') + 1;
  const std::string_view name = request.substr(from, request.find('|', from) - from);
  if (name == "TesteFimAFim") return std::string(16, '\0') + FrameOf(session + "|09000|ok|||");
  if (name == "ConsultarStatusOperacional" || name == "ConsultarSAT") {
    return FrameOf(session +
                   "|10000|Resposta com Sucesso|0000|Sem mensagens|900000000|DHCP|192.168.0.10|"
                   "02:4B:56:00:00:01|255.255.255.0|192.168.0.1|8.8.8.8|8.8.4.4|CONECTADO|ALTO|"
                   "4 GB|64 KB|20240315103000|01.00.00|00.08|0|0|0|20240315103000|"
                   "20240315103000|20240101|20290101|0");
  }
  if (name == "EnviarDadosVenda") {
    const std::string rest = Base64(coupon) + "|20240315103000|CFe3524|12.34||" + Base64("sig");
    return FrameOf(
        SaleReply(session + "|06000|0000|Emitido com sucesso + conteudo notas.|||", Deflate(rest)));
  }
  if (name == "CancelarUltimaVenda") {
    return FrameOf(session + "|07000|0000|Cupom cancelado com sucesso||" + Base64(coupon) +
                   "|20240315103000|CFe3524|12.34|");
  }
  if (name == "ExtrairLogs") {
    return FrameOf(session + "|15000|Transferencia completa|||" + Base64("LOG SAT\nlinha\n"));
  }
  return FrameOf(session + "|00000|Sucesso|||");
}

class Memory : public ::testing::Test {
 protected:
  Memory()
      : coupon_(CfeDocument(4096)),
        device_(dir_.path(), [this](std::string_view r) { return Answer(r, coupon_); }),
        dev_("KOVRAD_DEV_DIR", device_.dev_dir()),
        sys_("KOVRAD_SYSFS_DIR", dir_ / "sys") {
    MakeUsbTty(dir_ / "sys", "ttyACM0", "0525", "a4a7", "900000000", "2499");
    AbreSerialSAT(0, 0, 0, 0, 0);
  }
  ~Memory() override { ArquivoLog(""); }

  TempDir dir_;
  std::string coupon_;
  PtyResponder device_;
  ScopedEnv dev_, sys_;
};

TEST_F(Memory, ModuleBuffersAreCommittedOnlyAsExchangesUseThem) {
  // The reply buffer is the calling thread's own, one zero-filled block.
  const char* reply = ConsultarStatusOperacional(12, kKitCode);
  ASSERT_EQ(CodigoErro().code, __NOERROR__);
  const Mapping after_query = MappingOf(reply);
  EXPECT_GE(after_query.size, 3 * kMiB) << "the reply buffer is reserved whole";
  EXPECT_LT(after_query.resident, 1 * kMiB) << "a status query commits a few pages";

  const std::string big = CfeDocument(1536 * 1024);
  EnviarDadosVenda(12, kKitCode, big.c_str());
  ASSERT_EQ(CodigoErro().code, __NOERROR__);
#ifndef __SANITIZE_ADDRESS__
  // The small coupon that comes back commits a few pages of it. (The
  // sanitizer's allocator puts the sale's own large blocks beside the buffer,
  // where the kernel joins them into one mapping: there the count says nothing.)
  EXPECT_LT(MappingOf(reply).resident, 4 * kMiB) << "a sale commits what it uses";
#endif
}

TEST_F(Memory, TenThousandExchangesLeaveNothingBehind) {
  const std::string log = dir_ / "sat.log";
  size_t settled = 0;
  int exchanges = 0;
  for (int round = 0; exchanges < kExchanges; ++round) {
    // Every SAT function, then the link's other paths: discovery, a port
    // that is not there, and the log switched on for a stretch.
    for (const SatFunction& f : kSatFunctions) {
      f.call(round);
      ++exchanges;
    }
    Base64ToAscii();
    if (GetPortaSAT("900000000", round, kKitCode) != nullptr) ++exchanges;
    AbreSerialSAT(9, 0, 0, 0, 0);
    ConsultarSAT(round);
    AbreSerialSAT(0, 0, 0, 0, 0);
    ArquivoLog(round % 50 == 0 ? log.c_str() : "");
    if (settled == 0 && exchanges >= kExchanges / 10) settled = ResidentBytes();
  }
  EXPECT_EQ(std::string(ConsultarSAT(1)).substr(0, 13), "000001|10000|");
#ifndef __SANITIZE_ADDRESS__
  // The sanitizer's allocator holds freed memory back for a while, so the
  // resident size says something only without it; with it, LeakSanitizer
  // looks at exit.
  EXPECT_LT(ResidentBytes(), settled + kMiB);
#endif
}

}  // namespace
}  // namespace kovrad::test
