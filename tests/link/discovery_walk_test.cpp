// Finding the SAT device's port on sysfs-shaped trees, and AbrePorta using
// what it finds when no port was chosen.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_device.h"
#include "kovrad.h"
#include "link_support.h"
#include "module.h"
#include "serial_link.h"
#include "sysfs_tree.h"

namespace kovrad::test {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr char kNotFound[] = "KOVRAD n\xE3o encontrou um SAT TORVA no barramento USB!\n";
constexpr char kNotAccepted[] = "KOVRAD n\xE3o encontrou um SAT TORVA no barramento USB...!\n";

class DiscoveryWalk : public ::testing::Test {
 protected:
  DiscoveryWalk() : sys_(dir_ / "sys"), env_("KOVRAD_SYSFS_DIR", sys_), log_(dir_ / "kovrad.log") {
    ResetLink();
    ArquivoLog(log_.c_str());
  }
  ~DiscoveryWalk() override { ResetLink(); }

  void Sat(const std::string& tty, const std::string& serial, const std::string& bcd = "2499") {
    MakeUsbTty(sys_, tty, "0525", "a4a7", serial, bcd);
  }

  // The port found and what the walk wrote to the standard output.
  std::pair<std::string, std::string> Find() {
    CaptureStdout();
    std::string port = ProcuraPortaSAT();
    return {port, GetCapturedStdout()};
  }

  TempDir dir_;
  std::string sys_;
  ScopedEnv env_;
  std::string log_;
};

TEST_F(DiscoveryWalk, NoSatDeviceAmongThePorts) {
  MakePlainTty(sys_, "ttyS0");
  MakeUsbTty(sys_, "ttyACM0", "2341", "a4a7", "OUTRO", "0100");
  MakeUsbTty(sys_, "ttyACM1", "0525", "a4a8", "OUTRO", "0100");
  EXPECT_EQ(Find(), std::make_pair(std::string(), std::string()));
  EXPECT_TRUE(LogTexts(log_).empty());
}

TEST_F(DiscoveryWalk, PortsThatCannotBeListedAreLogged) {
  EXPECT_EQ(Find(), std::make_pair(std::string(), std::string()));
  EXPECT_EQ(LogTexts(log_), std::vector<std::string>{kNotFound});
}

TEST_F(DiscoveryWalk, OneDeviceIsAnnouncedWithItsSerialNumber) {
  MakePlainTty(sys_, "ttyS0");
  Sat("ttyACM2", "900001234");
  EXPECT_EQ(Find(), std::make_pair(std::string("ttyACM2"),
                                   std::string("Port: ttyACM2   Serial number: 900001234\n")));
  EXPECT_TRUE(LogTexts(log_).empty());
}

TEST_F(DiscoveryWalk, TheFirstInNameOrderWinsAndOthersAreSkipped) {
  Sat("ttyACM3", "SEGUNDO");
  Sat("ttyACM1", "PRIMEIRO");
  MakeUsbTty(sys_, "ttyACM0", "2341", "0043", "ARDUINO", "0001");
  EXPECT_EQ(Find(), std::make_pair(std::string("ttyACM1"),
                                   std::string("Port: ttyACM1   Serial number: PRIMEIRO\n")));
}

TEST_F(DiscoveryWalk, DevicesWithoutSerialNumberOrRevisionAreStillFound) {
  Sat("ttyACM0", "", "");
  EXPECT_EQ(Find(), std::make_pair(std::string("ttyACM0"),
                                   std::string("Port: ttyACM0   Serial number: \n")));
}

platform::SerialDevice Device(const std::string& port, std::vector<std::string> hardware_ids) {
  return {"USB\\VID_0525&PID_A4A7\\" + port, std::move(hardware_ids), port};
}

// Linux builds the hardware identifiers from the same attributes as the
// instance identifier, so the refusal is only reachable on a device list.
TEST_F(DiscoveryWalk, AnUnacceptedHardwareIdentifierStopsTheWalk) {
  const std::vector<platform::SerialDevice> devices = {
      Device("ttyACM0", {"USB\\VID_0525&PID_A4A8&REV_2499", "USB\\VID_0525&PID_A4A7"}),
      Device("ttyACM1", {"USB\\VID_0525&PID_A4A7&REV_2499"}),
  };
  CaptureStdout();
  EXPECT_EQ(EscolhePortaSAT(devices), "");
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(LogTexts(log_), std::vector<std::string>{kNotAccepted});
}

TEST_F(DiscoveryWalk, AcceptedHardwareIdentifiers) {
  for (const char* id : {"USB\\VID_0525&PID_A4A7&REV_2499", "USB\\VID_0525&PID_A4A7",
                         "USB\\Vid_0525&Pid_a4a7&Rev_2499", "USB\\Vid_0525&Pid_a4a7"}) {
    CaptureStdout();
    EXPECT_EQ(EscolhePortaSAT({Device("ttyACM4", {id})}), "ttyACM4") << id;
    GetCapturedStdout();
  }
  CaptureStdout();
  EXPECT_EQ(EscolhePortaSAT({Device("ttyACM5", {})}), "ttyACM5");
  GetCapturedStdout();
  EXPECT_TRUE(LogTexts(log_).empty());
}

TEST_F(DiscoveryWalk, AbrePortaSelectsThePortItFinds) {
  ScopedEnv dev("KOVRAD_DEV_DIR", dir_ / "dev");
  FakeDevice device(dir_.path(), 0);
  Sat("ttyACM0", "900001234");
  CaptureStdout();
  EXPECT_TRUE(AbrePorta());
  EXPECT_EQ(GetCapturedStdout(), "Port: ttyACM0   Serial number: 900001234\n");
  EXPECT_STREQ(State().port_name, "ttyACM0");
  EXPECT_EQ(CodigoErro().code, __NOERROR__);
  CloseSerial();

  // Once chosen, the port is not looked for again.
  std::filesystem::remove_all(sys_);
  CaptureStdout();
  EXPECT_TRUE(AbrePorta());
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST_F(DiscoveryWalk, AFoundNameTooLongForTheSelectionIsNotUsed) {
  Sat("ttyACM1000", "900001234");
  CaptureStdout();
  EXPECT_FALSE(AbrePorta());
  GetCapturedStdout();
  EXPECT_STREQ(State().port_name, "");
  EXPECT_EQ(CodigoErro().code, __NOCONNECT__);
}

}  // namespace
}  // namespace kovrad::test
