// Why the device's port would not open, from a sysfs tree and device files
// laid out as this computer would show them.
#include "core/port_fault.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "fake_device.h"
#include "sysfs_tree.h"

namespace kovrad::manager::test {
namespace {

using kovrad::test::ScopedEnv;
using kovrad::test::TempDir;

class PortFaultTest : public ::testing::Test {
 protected:
  PortFaultTest() : sysfs_("KOVRAD_SYSFS_DIR", dir_ / "sys"), dev_("KOVRAD_DEV_DIR", dir_ / "dev") {
    std::filesystem::create_directories(dir_ / "sys/class/tty");
    std::filesystem::create_directories(dir_ / "dev");
  }

  // A SAT on USB as ttyACM0, its device file made when `present`.
  std::string PlugIn(bool present) {
    kovrad::test::MakeUsbTty(dir_ / "sys", "ttyACM0", "0525", "a4a7", "900000000", "0100");
    const std::string path = dir_ / "dev/ttyACM0";
    if (present) kovrad::test::WriteFile(path, "");
    return path;
  }

  TempDir dir_;
  ScopedEnv sysfs_;
  ScopedEnv dev_;
};

TEST_F(PortFaultTest, NamesTheMissingDeviceThePortGoneAndTheProgramHoldingIt) {
  kovrad::test::MakeUsbTty(dir_ / "sys", "ttyUSB0", "1234", "5678", "", "");
  PortFinding finding = ExaminePort();
  EXPECT_EQ(finding.fault, PortFinding::Fault::kNoDevice);
  EXPECT_NE(PortHint(finding).find("nenhum SAT foi encontrado na USB"), std::string::npos);

  const std::string path = PlugIn(false);
  finding = ExaminePort();
  EXPECT_EQ(finding.fault, PortFinding::Fault::kGone);
  EXPECT_EQ(finding.path, path);
  EXPECT_NE(PortHint(finding).find(path + " do SAT sumiu"), std::string::npos);

  kovrad::test::WriteFile(path, "");
  EXPECT_EQ(ExaminePort().fault, PortFinding::Fault::kOther);
  // A lock taken here stands for another program's.
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  finding = ExaminePort();
  close(fd);
  EXPECT_EQ(finding.fault, PortFinding::Fault::kHeld);
  const std::string self = "(pid " + std::to_string(getpid()) + ")";
  EXPECT_NE(finding.holder.find(self), std::string::npos) << finding.holder;
  EXPECT_NE(PortHint(finding).find("em uso por outro programa: " + finding.holder),
            std::string::npos);
}

TEST_F(PortFaultTest, APortThisUserMayNotOpenIsAskedOfTheAdministrator) {
  if (geteuid() == 0) GTEST_SKIP() << "root may open any port";
  const std::string path = PlugIn(true);
  ASSERT_EQ(chmod(path.c_str(), 0600 & ~S_IRWXU), 0);
  const PortFinding finding = ExaminePort();
  EXPECT_EQ(finding.fault, PortFinding::Fault::kPermission);
  EXPECT_NE(PortHint(finding).find("grupo dialout"), std::string::npos);
}

}  // namespace
}  // namespace kovrad::manager::test
