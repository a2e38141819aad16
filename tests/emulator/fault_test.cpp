// Each of satemu's fault modes against the library: the link error and reply
// text the library promises for it.
#include <cstring>

#include "emulated_device.h"

namespace kovrad::test {
namespace {

constexpr char kReply[] = "000042|08000|SAT em operação||";
constexpr char kTimeoutReply[] = "000042|9999|Timeout de comunica\xE7\xE3o";

using Faults = EmulatedDevice;

// The one slow case: ConsultarSAT's 5 s limit runs out.
TEST_F(Faults, SilenceIsATimeOutAndTheSessionKeepsTheLostReply) {
  Start({"--kit", "--fault", "silent", "--fault-only", "ConsultarSAT"});
  EXPECT_EQ(std::string(ConsultarSAT(42)), kTimeoutReply);
  const COMM_ERROR error = CodigoErro();
  EXPECT_EQ(error.code, __TIMEOUT__);
  EXPECT_STREQ(error.msg, "Timeout na comunica\xE7\xE3o com o equipamento.");
  // The device did answer; the reply is there to be asked for.
  EXPECT_EQ(std::string(ConsultarNumeroSessao(12, "12345678", 42)), kReply);
}

TEST_F(Faults, ADelayWithinTheLimitIsWaitedFor) {
  Start({"--fault", "delay:1500"});
  EXPECT_EQ(std::string(ConsultarSAT(42)), kReply);
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
}

TEST_F(Faults, AReplySplitOverWritesIsAssembled) {
  Start({"--fault", "split:150"});
  const auto status = Fields(ConsultarStatusOperacional(12, kFactory));
  EXPECT_EQ(status.size(), 28u);
  EXPECT_EQ(status[1], "10000");
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
}

TEST_F(Faults, ABadChecksumIsLoggedAndTheReplyTaken) {
  Start({"--fault", "checksum"});
  ArquivoLog((dir_ / "sat.log").c_str());
  EXPECT_EQ(std::string(ConsultarSAT(42)), kReply);
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
  ArquivoLog("");
  EXPECT_NE(ReadFile(dir_ / "sat.log").find("Checksum"), std::string::npos);
}

TEST_F(Faults, AnotherControlCodeIsNoReply) {
  // A control frame carries no reply text: the call waits out its limit.
  Start({"--fault", "control:0x7F", "--fault-only", "ConsultarSAT"});
  EXPECT_EQ(std::string(ConsultarSAT(42)), kTimeoutReply);
  EXPECT_EQ(CodigoErro().code, __TIMEOUT__);
  EXPECT_EQ(Code(ConsultarStatusOperacional(12, kFactory)), "10000");
}

TEST_F(Faults, AnOversizedReplyIsCutToTheReceiveBuffer) {
  Start({"--fault", "oversized"});
  const char* reply = ConsultarSAT(42);
  EXPECT_EQ(std::string(reply, std::strlen(kReply)), kReply);
  EXPECT_GT(std::strlen(reply), 2000000u);
  EXPECT_LE(std::strlen(reply), 2097152u);
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
}

TEST_F(Faults, GarbageBeforeTheReplyIsSkipped) {
  Start({"--fault", "garbage", "--fault-only", "ConsultarSAT"});
  EXPECT_EQ(std::string(ConsultarSAT(42)), kReply);
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
  EXPECT_EQ(Code(ConsultarStatusOperacional(12, kFactory)), "10000");
}

TEST_F(Faults, AFixedReplyTextComesBackAsItIs) {
  Start({"--fault", "text:000012|10000|Resposta fixa|0|x|SERIE", "--fault-only",
         "ConsultarStatusOperacional"});
  EXPECT_EQ(std::string(ConsultarStatusOperacional(12, kFactory)),
            "000012|10000|Resposta fixa|0|x|SERIE");
  EXPECT_EQ(std::string(ConsultarSAT(42)), kReply);
}

}  // namespace
}  // namespace kovrad::test
