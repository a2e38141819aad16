// The command exchange through the C interface, against a scripted device.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_device.h"
#include "kovrad.h"

namespace kovrad::test {
namespace {

class ExchangeTest : public ::testing::Test {
 protected:
  ExchangeTest() : env_("KOVRAD_DEV_DIR", dir_ / "dev"), device_(dir_.path()) {
    AbreSerialSAT(0, 0, 0, 0, 0);
  }
  TempDir dir_;
  ScopedEnv env_;
  FakeDevice device_;
};

TEST_F(ExchangeTest, ConsultarSatSendsTheBareWireNameAndReturnsTheReply) {
  device_.AnswerAll("000042|08000|SAT em opera\xE7\xE3o||");
  std::string reply = ConsultarSAT(42);
  EXPECT_EQ(reply, "000042|08000|SAT em opera\xE7\xE3o||");
  ASSERT_TRUE(device_.WaitForRequests(1));
  const Request r = device_.requests().at(0);
  EXPECT_EQ(r.text(), "000042|ConsultarSAT");
  EXPECT_TRUE(r.checksum_ok());
  COMM_ERROR e = CodigoErro();
  EXPECT_EQ(e.code, __NOERROR__);
  EXPECT_STREQ(e.msg, reply.c_str());
}

}  // namespace
}  // namespace kovrad::test
