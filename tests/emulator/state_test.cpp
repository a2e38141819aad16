// The state file and the journal: everything the device remembers comes back
// after a restart, a damaged file is refused rather than overwritten, and a
// request that cannot be kept leaves no trace.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "device.h"
#include "fake_device.h"
#include "state.h"
#include "store.h"

namespace satemu {
namespace {

using kovrad::test::ReadFile;
using kovrad::test::TempDir;
using kovrad::test::WriteFile;

mode_t Mode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

TEST(StateFile, KeepsEverythingAcrossAWriteAndARead) {
  DeviceState s;
  s.activation = Activation::kAwaitingCertificate;
  s.activation_code = "código\\com=barra";
  s.emergency_code = "87654321";
  s.taxpayer_cnpj = "08723218000186";
  s.signature = "linha 1\nlinha 2\r\n\x01\x7F fim";
  s.lock = kLockAutonomous;
  s.network = {{"tipoLan", "IPFIX"}, {"senha", "a=b\nc"}};
  s.coupons_issued = 12345678901234ull;
  s.last_coupon_number = 999999;
  s.taxpayer.name = "PADARIA PÃO|QUENTE\\LTDA";
  s.last_sale = {std::string(44, '7'), "20261207120000", "102.20", "11144477735", "149626224113"};
  s.certificate_request = "-----BEGIN CERTIFICATE REQUEST-----\nAAA\n-----END...";

  const std::string text = StateText(s, 7);
  StoredState loaded;
  std::string error;
  ASSERT_TRUE(ParseState(text, "state", &loaded, &error)) << error;
  EXPECT_EQ(loaded.generation, 7u);
  EXPECT_EQ(loaded.format, 2);
  EXPECT_EQ(loaded.state.activation_code, s.activation_code);
  EXPECT_EQ(loaded.state.signature, s.signature);
  EXPECT_EQ(loaded.state.network, s.network);
  EXPECT_EQ(loaded.state.coupons_issued, s.coupons_issued);
  EXPECT_EQ(loaded.state.taxpayer.name, s.taxpayer.name);
  EXPECT_EQ(loaded.state.last_sale.key, s.last_sale.key);
  EXPECT_EQ(StateText(loaded.state, 7), text);

  // Counters stop where the file can still hold them.
  s.coupons_issued = kMaxCounter;
  Count(&s.coupons_issued);
  ASSERT_TRUE(ParseState(StateText(s, 1), "state", &loaded, &error)) << error;
  EXPECT_EQ(loaded.state.coupons_issued, kMaxCounter);
}

TEST(StateFile, DamagedFileIsRefusedNamingTheLineAndWhatToDo) {
  const std::string good = StateText(DeviceState{}, 3);
  auto without = [&](const std::string& key) {
    const size_t at = good.find("\n" + key + "=") + 1;
    return good.substr(0, at) + good.substr(good.find('\n', at) + 1);
  };
  const std::pair<std::string, std::string> damaged[] = {
      {"", "empty"},
      {good.substr(0, good.size() - 5), "cut short"},
      {good + "lokc=1\n", ": lokc: unknown key"},
      {good + "net.seguranca=WPA\n", "unknown network setting"},
      {good + "lock=1\n", "given twice"},
      {good + "session=1 x\n", "unknown key"},
      {without("coupons_issued"), "lacks \"coupons_issued\""},
      {without("generation"), "lacks \"generation\""},
      {"format=3\nlock=0\n", "newer satemu"},
      {"lock=9\nactivation=factory\n", ":1: lock: lock state must be 0 to 4"},
      {"activation=sleeping\nlock=0\n", "unknown activation state"},
      {"activation=active\nlock=0\nlast_coupon_number=1000000\n", "0 to 999999"},
      {"activation=active\nlock=0\ncoupons_issued=-1\n", "must be a number"},
      {"activation=active\nlock=0\nlast_coupon_key=123\n", "out of range"},
      {"activation=active\nlock=0\nsignature=bad\\q\n", "bad escape"},
      {"activation=active\nlock=0\nsession=abc reply\n", "bad session reply"},
      {"activation=active\n", "lacks \"lock\""},
  };
  for (const auto& [text, reason] : damaged) {
    StoredState stored;
    std::string error;
    EXPECT_FALSE(ParseState(text, "/d/state", &stored, &error)) << text;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_TRUE(error.starts_with("/d/state")) << error;
    EXPECT_NE(error.find("move it away"), std::string::npos) << error;
  }
}

class StoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<Store> Open(DeviceState* state, History* history) {
    bool found = false;
    std::string error;
    auto store = Store::Open(path_, state, history, &found, &error);
    EXPECT_TRUE(store) << error;
    return store;
  }

  TempDir dir_;
  std::string path_ = dir_ / "state";
};

TEST_F(StoreTest, AFileOfTheFirstFormatIsReadAndItsHistoryMovesToTheJournal) {
  WriteFile(path_,
            "# satemu device state\nactivation=active\nlock=2\nactivation_code=12345678\n"
            "last_coupon_number=41\nsession=7 000007|08000|SAT em operação||\n"
            "event=20260101120000|SAT|INFO|INICIO: ligado\n");
  DeviceState state;
  History history;
  auto store = Open(&state, &history);
  EXPECT_EQ(state.lock, kLockTaxpayer);
  EXPECT_EQ(state.last_coupon_number, 41u);
  ASSERT_NE(history.FindSession(7), nullptr);
  EXPECT_EQ(history.events.size(), 1u);
  ASSERT_TRUE(store->Commit(state, {{Entry::Kind::kSession, 8, "000008|08000|x||"}}));
  EXPECT_NE(ReadFile(path_).find("format=2\n"), std::string::npos);
  EXPECT_EQ(ReadFile(path_).find("session="), std::string::npos);
  store.reset();

  DeviceState again;
  History kept;
  store = Open(&again, &kept);
  EXPECT_EQ(again.last_coupon_number, 41u);
  EXPECT_NE(kept.FindSession(7), nullptr);
  EXPECT_NE(kept.FindSession(8), nullptr);
  EXPECT_EQ(kept.events.size(), 1u);
}

TEST_F(StoreTest, FilesAreTheOwnersAndAQueryOnlyAppendsToTheJournal) {
  DeviceState state;
  History history;
  auto store = Open(&state, &history);
  state.activation_code = "12345678";
  ASSERT_TRUE(store->Commit(state, {{Entry::Kind::kEvent, 0, "ativado"}}));
  EXPECT_EQ(Mode(path_), 0600u);
  EXPECT_EQ(Mode(path_ + Store::kJournalSuffix), 0600u);
  struct stat before {
  }, after{};
  ASSERT_EQ(stat(path_.c_str(), &before), 0);
  for (int session = 0; session < 50; ++session) {
    ASSERT_TRUE(store->Commit(state, {{Entry::Kind::kSession, session, "consulta"}}));
  }
  ASSERT_EQ(stat(path_.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(StoreTest, AStateFileThatIsALinkOrAFifoIsRefused) {
  const std::string target = dir_ / "elsewhere";
  WriteFile(target, "# satemu device state\nactivation=active\nlock=0\n");
  std::filesystem::create_symlink(target, path_);
  DeviceState state;
  History history;
  bool found = false;
  std::string error;
  EXPECT_FALSE(Store::Open(path_, &state, &history, &found, &error));
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  std::filesystem::remove(path_);
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_FALSE(Store::Open(path_, &state, &history, &found, &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

TEST_F(StoreTest, ALinkPlantedAsTheTemporaryFileRedirectsNothing) {
  const std::string target = dir_ / "elsewhere";
  WriteFile(target, "intact");
  std::filesystem::create_symlink(target, path_ + ".tmp");
  DeviceState state;
  History history;
  auto store = Open(&state, &history);
  state.lock = kLockSefaz;
  ASSERT_TRUE(store->Commit(state, {}));
  EXPECT_EQ(ReadFile(target), "intact");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(path_)));
}

TEST_F(StoreTest, ARequestThatCannotBeSavedIsRefusedAndLeavesNoTrace) {
  DeviceState state;
  MakeKit(&state, std::time(nullptr));
  History ignored;
  auto store = Open(&state, &ignored);
  Device device(state, "900000000");
  device.set_store(store.get());
  ASSERT_TRUE(device.Commit());
  const std::string saved = ReadFile(path_);

  // The temporary file cannot be made: the state file cannot be replaced.
  std::filesystem::create_directory(path_ + ".tmp");
  EXPECT_EQ(device.Handle("000001|BloquearSAT|12345678").reply.line,
            "000001|16099|Erro desconhecido: o estado do SAT não pôde ser gravado||");
  EXPECT_EQ(state.lock, kUnlocked);
  EXPECT_EQ(ReadFile(path_), saved);
  EXPECT_EQ(device.history().FindSession(1), nullptr);
  // A query changes no setting: it is still answered and remembered.
  EXPECT_EQ(device.Handle("000002|ConsultarSAT").reply.code, "08000");

  std::filesystem::remove(path_ + ".tmp");
  EXPECT_EQ(device.Handle("000003|BloquearSAT|12345678").reply.code, "16000");
  store.reset();
  DeviceState after;
  History history;
  store = Open(&after, &history);
  EXPECT_EQ(after.lock, kLockTaxpayer);
  EXPECT_EQ(history.FindSession(1), nullptr);
  EXPECT_NE(history.FindSession(2), nullptr);
  EXPECT_NE(history.FindSession(3), nullptr);
}

TEST_F(StoreTest, JournalRowsOfAStateNeverSavedAreDroppedAtStart) {
  DeviceState state;
  History history;
  auto store = Open(&state, &history);
  ASSERT_TRUE(store->Commit(state, {{Entry::Kind::kSession, 1, "antes"}}));
  const std::string before = ReadFile(path_);
  state.lock = kLockSefaz;
  ASSERT_TRUE(store->Commit(state, {{Entry::Kind::kSession, 2, "depois"}}));
  store.reset();
  // As after a crash between the journal and the state file.
  WriteFile(path_, before);
  DeviceState after;
  History kept;
  store = Open(&after, &kept);
  EXPECT_EQ(after.lock, kUnlocked);
  EXPECT_NE(kept.FindSession(1), nullptr);
  EXPECT_EQ(kept.FindSession(2), nullptr);
}

}  // namespace
}  // namespace satemu
