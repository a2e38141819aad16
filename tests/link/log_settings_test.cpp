// The log settings in "sat.ini" and the log file name set by ArquivoLog.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "fake_device.h"
#include "kovrad.h"
#include "link_support.h"
#include "log.h"
#include "module.h"

namespace kovrad::test {
namespace {

// The name the settings text switches the log on with, or "(off)".
std::string NameFrom(std::string_view settings) {
  char name[kLogNameField] = {};
  if (!LeConfiguracaoLog(settings, name, sizeof name)) return "(off)";
  return name;
}

TEST(SettingsText, AcceptedLayouts) {
  EXPECT_EQ(NameFrom("GeraArqLog=1\nNomeArqLog=sat.log\n"), "sat.log");
  EXPECT_EQ(NameFrom("GeraArqLog = 1\nNomeArqLog =   sat.log"), "sat.log");
  EXPECT_EQ(NameFrom("GeraArqLog=1\r\nNomeArqLog=sat.log\r\nOutra=2\r\n"), "sat.log");
  EXPECT_EQ(NameFrom("[log]\nGeraArqLog=1 NomeArqLog=/var/log/k.log"), "/var/log/k.log");
  // Blanks inside and after the name belong to it: only the line end cuts.
  EXPECT_EQ(NameFrom("GeraArqLog=1\nNomeArqLog=meu log.txt \n"), "meu log.txt ");
}

TEST(SettingsText, LayoutsThatLeaveTheLogOff) {
  EXPECT_EQ(NameFrom(""), "(off)");
  EXPECT_EQ(NameFrom("GeraArqLog=\t1\nNomeArqLog=sat.log\n"), "(off)");
  EXPECT_EQ(NameFrom("NomeArqLog=sat.log\nGeraArqLog=1\n"), "(off)");
  EXPECT_EQ(NameFrom("GeraArqLog=0\nNomeArqLog=sat.log\n"), "(off)");
  EXPECT_EQ(NameFrom("GeraArqLog=1\n"), "(off)");
  EXPECT_EQ(NameFrom("GeraArqLog=1\nNomeArqLog sat.log\n"), "(off)");
  EXPECT_EQ(NameFrom("GeraArqLog 1\nNomeArqLog=sat.log\n"), "(off)");
  EXPECT_EQ(NameFrom("GeraArqLog="), "(off)");
  EXPECT_EQ(NameFrom("GeraArqLog=1\nNomeArqLog=\n"), "(off)");
}

TEST(SettingsText, NameIsCutAtControlAndNonAsciiBytes) {
  EXPECT_EQ(NameFrom("GeraArqLog=1\nNomeArqLog=di\xE1rio.log\n"), "di");
  EXPECT_EQ(NameFrom("GeraArqLog=1\nNomeArqLog=sat.log\tcomentario\n"), "sat.log");
  EXPECT_EQ(NameFrom("GeraArqLog=1\nNomeArqLog=\xC3\xA9.log\n"), "(off)");
  // Zero bytes are part of the text read: they neither hide what follows them
  // nor survive in the name.
  EXPECT_EQ(NameFrom(std::string_view("\0\0GeraArqLog=1\nNomeArqLog=sat.log", 34)), "sat.log");
  EXPECT_EQ(NameFrom(std::string_view("GeraArqLog=1\nNomeArqLog=sat\0.log", 33)), "sat");
}

TEST(SettingsText, NameAbove99CharactersIsRefusedUntouched) {
  const std::string longest(99, 'a');
  EXPECT_EQ(NameFrom("GeraArqLog=1\nNomeArqLog=" + longest + "\n"), longest);

  char name[kLogNameField];
  std::memset(name, 0, sizeof name);
  const std::string settings = "GeraArqLog=1\nNomeArqLog=" + std::string(100, 'b') + "\n";
  EXPECT_FALSE(LeConfiguracaoLog(settings, name, sizeof name));
  EXPECT_EQ(std::string(name, sizeof name), std::string(sizeof name, '\0'));
  // What is cut off at a control byte does not count towards the length.
  EXPECT_EQ(NameFrom("GeraArqLog=1\nNomeArqLog=k.log\x01" + std::string(200, 'c')), "k.log");
}

// GravaLog reading "sat.ini" from the current directory.
class SettingsFile : public ::testing::Test {
 protected:
  SettingsFile() : cwd_(dir_.path()) { ResetLink(); }
  ~SettingsFile() override { ResetLink(); }

  bool Exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }
  std::string Ini() const { return dir_ / "sat.ini"; }

  TempDir dir_;
  ScopedCwd cwd_;
};

TEST_F(SettingsFile, SwitchesTheLogOnInTheCurrentDirectory) {
  WriteFile(Ini(), "GeraArqLog=1\r\nNomeArqLog=sat.log\r\n");
  GravaLog("primeira");
  GravaLog("segunda");
  EXPECT_EQ(LogTexts(dir_ / "sat.log"), (std::vector<std::string>{"primeira", "segunda"}));
  EXPECT_STREQ(State().log_name, "sat.log");
}

TEST_F(SettingsFile, IsReadAgainAtEveryRequestWhileTheLogIsOff) {
  GravaLog("sem arquivo");
  WriteFile(Ini(), "GeraArqLog=0\nNomeArqLog=sat.log\n");
  GravaLog("desligado");
  EXPECT_FALSE(Exists("sat.log"));
  WriteFile(Ini(), "GeraArqLog=1\nNomeArqLog=sat.log\n");
  GravaLog("ligado");
  EXPECT_EQ(LogTexts(dir_ / "sat.log"), std::vector<std::string>{"ligado"});
}

TEST_F(SettingsFile, IsReadOncePerCallWhileTheLogIsOff) {
  {
    LibraryLock call;
    GravaLog("antes");
    WriteFile(Ini(), "GeraArqLog=1\nNomeArqLog=sat.log\n");
    GravaLog("na mesma chamada");
  }
  EXPECT_FALSE(Exists("sat.log"));
  {
    LibraryLock call;
    GravaLog("na chamada seguinte");
  }
  EXPECT_EQ(LogTexts(dir_ / "sat.log"), std::vector<std::string>{"na chamada seguinte"});
}

TEST_F(SettingsFile, OnlyTheFirst1024BytesAreRead) {
  WriteFile(Ini(), std::string(1024, '#') + "GeraArqLog=1\nNomeArqLog=alem.log\n");
  GravaLog("nada");
  EXPECT_EQ(State().log_name[0], '\0');

  // The name itself ends where the read ends: its value starts at byte 1020.
  std::string head = "GeraArqLog=1\n";
  head += std::string(1020 - head.size() - 11, '#') + "NomeArqLog=";
  ASSERT_EQ(head.size(), 1020u);
  WriteFile(Ini(), head + "abcdefgh.log\n");
  GravaLog("cortado");
  EXPECT_EQ(LogTexts(dir_ / "abcd"), std::vector<std::string>{"cortado"});
}

TEST_F(SettingsFile, EmptyFileLeavesTheLogOff) {
  WriteFile(Ini(), "");
  GravaLog("nada");
  EXPECT_EQ(State().log_name[0], '\0');
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

TEST_F(SettingsFile, NameAbove99CharactersLeavesTheLogOff) {
  const std::string name(120, 'n');
  WriteFile(Ini(), "GeraArqLog=1\nNomeArqLog=" + name + "\n");
  GravaLog("nada");
  EXPECT_EQ(State().log_name[0], '\0');
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

TEST_F(SettingsFile, ArquivoLogTakesOverAndAnEmptyNameHandsBack) {
  WriteFile(Ini(), "GeraArqLog=1\nNomeArqLog=sat.log\n");
  EXPECT_STREQ(ArquivoLog("proprio.log"), "proprio.log");
  GravaLog("pelo nome dado");
  EXPECT_FALSE(Exists("sat.log"));
  EXPECT_STREQ(ArquivoLog(""), "");
  GravaLog("pelo sat.ini");
  EXPECT_EQ(LogTexts(dir_ / "proprio.log"), std::vector<std::string>{"pelo nome dado"});
  EXPECT_EQ(LogTexts(dir_ / "sat.log"), std::vector<std::string>{"pelo sat.ini"});
}

TEST(ArquivoLog, ReplacesTheWholeName) {
  ResetLink();
  ArquivoLog("um-nome-bem-mais-comprido.log");
  char* stored = ArquivoLog("curto");
  EXPECT_EQ(stored, State().log_name);
  EXPECT_EQ(std::string(stored, kLogNameField), "curto" + std::string(kLogNameField - 5, '\0'));
  ResetLink();
}

TEST(ArquivoLog, RefusesNamesAbove99CharactersAndNull) {
  ResetLink();
  const std::string longest(99, 'l');
  EXPECT_EQ(ArquivoLog(longest.c_str()), longest);
  EXPECT_STREQ(ArquivoLog(std::string(100, 'l').c_str()), "");
  EXPECT_EQ(State().log_name[0], '\0');
  ArquivoLog("algum.log");
  EXPECT_STREQ(ArquivoLog(nullptr), "");
  ResetLink();
}

TEST(LogSettings, AFifoInPlaceOfSatIniOrTheLogBlocksNothing) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  ResetLink();
  // Opening a FIFO for reading or writing waits for the other end: a
  // regression hangs here.
  ASSERT_EQ(mkfifo("sat.ini", 0600), 0);
  GravaLog("entry");
  ASSERT_EQ(mkfifo("fifo.log", 0600), 0);
  ArquivoLog("fifo.log");
  GravaLog("entry");
  ResetLink();
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "fifo.log"));
}

}  // namespace
}  // namespace kovrad::test
