// The state file: everything the device remembers comes back after a restart,
// and a damaged file is refused rather than overwritten.
#include <gtest/gtest.h>

#include "fake_device.h"
#include "state.h"

namespace satemu {
namespace {

using kovrad::test::ReadFile;
using kovrad::test::TempDir;
using kovrad::test::WriteFile;

TEST(StateFile, KeepsEverythingAcrossASaveAndALoad) {
  DeviceState s;
  s.activation = Activation::kAwaitingCertificate;
  s.activation_code = "código|com\\barra";
  s.emergency_code = "87654321";
  s.taxpayer_cnpj = "08723218000186";
  s.signature = "linha 1\nlinha 2\r\n\x01\x7F fim";
  s.lock = kLockAutonomous;
  s.network = {{"tipoLan", "IPFIX"}, {"senha", "a=b\nc"}};
  s.coupons_issued = 12345678901234ull;
  s.last_coupon_number = 999999;
  s.taxpayer.name = "PADARIA PÃO|QUENTE\\LTDA";
  s.taxpayer.complement = "";
  s.last_sale = {std::string(44, '7'), "20261207120000", "102.20", "11144477735", "149626224113"};
  s.certificate_request = "-----BEGIN CERTIFICATE REQUEST-----\nAAA\n-----END...";
  s.RememberSession(-5, "-00005|08000|SAT em operação||");
  s.RememberSession(42, "000042|04006|CSR|||-----BEGIN\nx\n");
  s.AddEvent("20260101120000|SAT|INFO|INICIO: ligado");
  s.other = {{"future_key", "kept\\nas it was"}};

  TempDir dir;
  std::string error;
  ASSERT_TRUE(SaveState(dir / "state", s, &error)) << error;
  DeviceState loaded;
  bool found = false;
  ASSERT_TRUE(LoadState(dir / "state", &loaded, &found, &error)) << error;
  EXPECT_TRUE(found);
  EXPECT_EQ(loaded.activation, s.activation);
  EXPECT_EQ(loaded.activation_code, s.activation_code);
  EXPECT_EQ(loaded.signature, s.signature);
  EXPECT_EQ(loaded.lock, s.lock);
  EXPECT_EQ(loaded.network, s.network);
  EXPECT_EQ(loaded.coupons_issued, s.coupons_issued);
  EXPECT_EQ(loaded.last_coupon_number, s.last_coupon_number);
  EXPECT_EQ(loaded.taxpayer.name, s.taxpayer.name);
  EXPECT_EQ(loaded.taxpayer.street, s.taxpayer.street);
  EXPECT_EQ(loaded.taxpayer.complement, "");
  EXPECT_EQ(loaded.last_sale.key, s.last_sale.key);
  EXPECT_EQ(loaded.last_sale.ie, s.last_sale.ie);
  EXPECT_EQ(loaded.certificate_request, s.certificate_request);
  EXPECT_EQ(loaded.sessions, s.sessions);
  EXPECT_EQ(loaded.events, s.events);
  EXPECT_EQ(loaded.other, s.other);
  // Saved again unchanged: nothing is lost on the way round.
  ASSERT_TRUE(SaveState(dir / "again", loaded, &error));
  EXPECT_EQ(ReadFile(dir / "again"), ReadFile(dir / "state"));
}

TEST(StateFile, LargeSessionRepliesAreKeptWithinABound) {
  DeviceState s;
  for (int session = 1; session <= 40; ++session) {
    s.RememberSession(session, std::string(1024 * 1024, 'x'));
  }
  size_t bytes = 0;
  for (const auto& kept : s.sessions) bytes += kept.second.size();
  EXPECT_LE(bytes, kSessionBytesKept);
  EXPECT_NE(s.FindSession(40), nullptr);
  EXPECT_EQ(s.FindSession(1), nullptr);
  // Even one reply past the bound is kept: the last session is always there.
  s.RememberSession(41, std::string(kSessionBytesKept + 1, 'y'));
  EXPECT_EQ(s.sessions.size(), 1u);
}

TEST(StateFile, MissingFileMeansANewDevice) {
  TempDir dir;
  DeviceState s;
  s.lock = kLockSefaz;
  bool found = true;
  std::string error;
  EXPECT_TRUE(LoadState(dir / "none", &s, &found, &error));
  EXPECT_FALSE(found);
  EXPECT_EQ(s.lock, kLockSefaz);
}

TEST(StateFile, DamagedFileIsRefusedWithItsLine) {
  TempDir dir;
  for (const char* line :
       {"no equals sign", "lock=9", "activation=sleeping", "format=2", "session=abc reply",
        "session=12", "signature=bad\\q", "coupons_issued=-1", "taxpayer.name=bad\\q"}) {
    const std::string content = std::string("format=1\n") + line + "\n";
    WriteFile(dir / "state", content);
    DeviceState s;
    bool found = false;
    std::string error;
    EXPECT_FALSE(LoadState(dir / "state", &s, &found, &error)) << line;
    EXPECT_NE(error.find(":2:"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(dir / "state"), content);
  }
}

}  // namespace
}  // namespace satemu
