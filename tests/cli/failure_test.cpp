// satcli when things go wrong in the field: each link failure named with what
// to do, a sale whose reply was lost settled with the device instead of sent
// twice, session numbers that do not repeat across runs, and files it must
// not read without end or write over.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <set>
#include <sstream>

#include "emulated_device.h"
#include "program.h"

extern char** environ;

namespace kovrad::test {
namespace {

namespace fs = std::filesystem;

constexpr char kCode[] = "12345678";
const std::string kSale = std::string(SATEMU_SAMPLES) + "/venda.xml";

Finished Satcli(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), {SATCLI_PATH, "--biblioteca", KOVRAD_LIBRARY});
  return RunProgram(args, input);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// How many requests of `function` the emulated device has carried out.
int Carried(const std::string& dir, const std::string& function) {
  const std::string log = dir + "/device.log";
  EXPECT_EQ(Satcli({"--salvar", log, "ExtrairLogs", "--codigo", kCode}).status, 0);
  const std::string text = ReadFile(log);
  int count = 0;
  for (size_t at = 0; (at = text.find("COMANDO: " + function, at)) != std::string::npos; ++at) {
    ++count;
  }
  return count;
}

class Field : public EmulatedDevice {
 protected:
  Field() : state_("XDG_STATE_HOME", dir_ / "xdg") {}
  ScopedEnv state_;
};

// ---- Link failures ----

TEST_F(Field, EachLinkFailureIsNamedWithWhatToDo) {
  fs::create_directories(dir_ / "dev");
  fs::create_directories(dir_ / "sys/class/tty");
  ScopedEnv dev("KOVRAD_DEV_DIR", dir_ / "dev");
  ScopedEnv sys("KOVRAD_SYSFS_DIR", dir_ / "sys");

  const Finished absent = Satcli({"ConsultarSAT"});
  EXPECT_EQ(absent.status, 2);
  EXPECT_TRUE(Has(absent.err, "no SAT device found")) << absent.err;
  EXPECT_TRUE(Has(absent.err, "lsusb -d 0525:a4a7")) << absent.err;
  // JSON keeps the same reason.
  const Finished absent_json = Satcli({"--json", "ConsultarSAT"});
  EXPECT_EQ(absent_json.status, 2);
  const QJsonObject absent_fields =
      QJsonDocument::fromJson(QByteArray::fromStdString(absent_json.out)).object();
  EXPECT_TRUE(absent_fields["diagnostico"].toString().contains("no SAT device found"))
      << absent_json.out;

  const Finished missing = Satcli({"--porta", "3", "ConsultarSAT"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(Has(missing.err, dir_ / "dev/ttyACM3: No such file or directory")) << missing.err;

  const Finished refused = Satcli({"--porta", "1000", "ConsultarSAT"});
  EXPECT_EQ(refused.status, 3);
  EXPECT_TRUE(Has(refused.err, "port name refused")) << refused.err;

  FakeDevice device(dir_.path());
  device.AnswerAll("000001|08000|SAT em operacao||");
  const int holder = open(device.port_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  const Finished held = Satcli({"--porta", "0", "ConsultarSAT"});
  close(holder);
  EXPECT_EQ(held.status, 2);
  EXPECT_TRUE(Has(held.err, "held by another program")) << held.err;
  EXPECT_TRUE(Has(held.err, "(pid " + std::to_string(getpid()) + ")")) << held.err;
  EXPECT_EQ(Satcli({"--porta", "0", "ConsultarSAT"}).status, 0);
}

TEST_F(Field, PermissionDeniedNamesTheGroupToJoinOrTheUdevRule) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
    GTEST_SKIP() << "needs root and setpriv to run satcli as another user";
  }
  // The test's directories must be open to the other user; the port is not.
  fs::permissions(dir_.path(),
                  fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  FakeDevice device(dir_.path());
  fs::permissions(dir_ / "dev", fs::perms::owner_all | fs::perms::others_exec);
  ASSERT_EQ(chmod(fs::canonical(device.port_path()).c_str(), 0600), 0);
  ScopedEnv dev("KOVRAD_DEV_DIR", dir_ / "dev");
  const Finished run =
      RunProgram({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                  SATCLI_PATH, "--biblioteca", KOVRAD_LIBRARY, "--porta", "0", "ConsultarSAT"});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_TRUE(Has(run.err, "ttyACM0: Permission denied")) << run.err;
  // A root:root port: joining root is no advice; the udev rule is.
  EXPECT_FALSE(Has(run.err, "adduser \"$USER\" root")) << run.err;
  EXPECT_TRUE(Has(run.err, "udev rule")) << run.err;
  EXPECT_TRUE(Has(run.err, "sudo adduser \"$USER\" dialout")) << run.err;

  // A port its group may use: join that group.
  ASSERT_EQ(chown(fs::canonical(device.port_path()).c_str(), 0, 20), 0);  // dialout
  ASSERT_EQ(chmod(fs::canonical(device.port_path()).c_str(), 0660), 0);
  const Finished group =
      RunProgram({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                  SATCLI_PATH, "--biblioteca", KOVRAD_LIBRARY, "--porta", "0", "ConsultarSAT"});
  EXPECT_TRUE(Has(group.err, "sudo adduser \"$USER\" dialout")) << group.err;
  EXPECT_FALSE(Has(group.err, "udev rule")) << group.err;
}

TEST_F(Field, ATimeOutNamesTheFunctionAndTheWait) {
  Start({"--kit", "--fault", "silent", "--fault-only", "ConsultarSAT"});
  const Finished run = Satcli({"ConsultarSAT"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Has(run.err, "ConsultarSAT: no reply within its time limit of 5 s")) << run.err;
  EXPECT_TRUE(Has(run.err, "Check the cable")) << run.err;
}

// ---- A sale whose reply was lost ----

TEST_F(Field, ASaleWhoseReplyWasLostIsRecoveredNotRepeated) {
  for (const std::string fault : {"silent", "text:Emitido"}) {
    SCOPED_TRACE(fault);
    Start({"--kit", "--fault", fault, "--fault-only", "EnviarDadosVenda"});
    const std::string coupon = dir_ / ("cfe-" + std::to_string(fault.size()) + ".xml");
    const Finished sold = Satcli({"--json", "--salvar", coupon, "EnviarDadosVenda", "--codigo",
                                  kCode, "--documento", kSale});
    EXPECT_EQ(sold.status, 0) << sold.err;
    EXPECT_TRUE(Has(sold.err, "the device made it")) << sold.err;
    // The device answered the lookup: its link works, the cable is no hint.
    EXPECT_FALSE(Has(sold.err, "Check the cable")) << sold.err;
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(sold.out)).object();
    EXPECT_EQ(json["recuperacao"].toObject()["resultado"].toString(), "feita");
    const std::string key = json["campos"].toObject()["chaveConsulta"].toString().toStdString();
    EXPECT_TRUE(key.starts_with("CFe")) << sold.out;
    const std::string saved = ReadFile(coupon);
    EXPECT_TRUE(Has(saved, "Id=\"" + key + "\"")) << saved.substr(0, 200);
    EXPECT_TRUE(saved.ends_with("</CFe>"));
  }
  EXPECT_EQ(Carried(dir_.path(), "EnviarDadosVenda"), 2);  // one per device start, no more
}

TEST_F(Field, ASaleTheDeviceNeverGotIsReportedNotMade) {
  ScopedEnv dev("KOVRAD_DEV_DIR", dir_ / "dev");
  FakeDevice device(dir_.path());
  // The sale's reply arrives cut to nothing; the device knows no such session.
  device.OnRequest([](const Request& r) {
    const std::string text = r.text();
    const std::string session = text.substr(0, text.find('|'));
    if (Has(text, "|EnviarDadosVenda|")) return Answer::Text("");
    if (Has(text, "|ConsultarNumeroSessao|")) {
      return Answer::Text(session + "|11003|Sessao inexistente||");
    }
    return Answer::Text(session + "|08000|ok||");
  });
  WriteFile(dir_ / "venda.xml", "<CFe/>");
  const Finished run = Satcli(
      {"--porta", "0", "EnviarDadosVenda", "--codigo", kCode, "--documento", dir_ / "venda.xml"});
  EXPECT_EQ(run.status, 4) << run.out << run.err;
  EXPECT_TRUE(Has(run.err, "nothing was made")) << run.err;
  int sales = 0;
  for (const Request& r : device.requests()) sales += Has(r.text(), "|EnviarDadosVenda|");
  EXPECT_EQ(sales, 1);

  // A device that will not say: the fate stays unknown, with its own status.
  device.OnRequest([](const Request& r) {
    const std::string text = r.text();
    const std::string session = text.substr(0, text.find('|'));
    if (Has(text, "|EnviarDadosVenda|")) return Answer::Text("");
    return Answer::Text(session + "|11001|Codigo de ativacao invalido||");
  });
  const Finished unknown = Satcli(
      {"--porta", "0", "EnviarDadosVenda", "--codigo", kCode, "--documento", dir_ / "venda.xml"});
  EXPECT_EQ(unknown.status, 5) << unknown.err;
  EXPECT_TRUE(Has(unknown.err, "Do NOT send it again")) << unknown.err;
}

TEST_F(Field, AStoredSaleIsNamedAsASale) {
  Start({"--kit"});
  const Finished sold =
      Satcli({"--sessao", "777", "EnviarDadosVenda", "--codigo", kCode, "--documento", kSale});
  ASSERT_EQ(sold.status, 0) << sold.err;
  const Finished lookup =
      Satcli({"--json", "ConsultarNumeroSessao", "--codigo", kCode, "--numero", "777"});
  const QJsonObject fields =
      QJsonDocument::fromJson(QByteArray::fromStdString(lookup.out)).object()["campos"].toObject();
  EXPECT_EQ(fields["EEEEE"].toString(), "06000") << lookup.out;
  EXPECT_TRUE(fields["chaveConsulta"].toString().startsWith("CFe")) << lookup.out;
  EXPECT_FALSE(fields["arquivoCFeSAT"].toString().isEmpty());
}

// ---- Session numbers ----

TEST_F(Field, SessionNumbersDoNotRepeatAcrossRunsAndSurviveAKill) {
  Start({"--kit", "--fault", "silent", "--fault-only", "ConsultarSAT"});
  const std::string list = dir_ / "xdg/kovrad/satcli-sessoes";
  std::set<std::string> seen;
  for (int run = 0; run < 2; ++run) {
    const Finished status = Satcli({"ConsultarStatusOperacional", "--codigo", kCode});
    EXPECT_EQ(status.status, 0);
    seen.insert(status.out.substr(0, 6));
  }
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(Lines(ReadFile(list)).size(), 2u);
  struct stat info {};
  ASSERT_EQ(stat(list.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((dir_ / "xdg/kovrad").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // Killed while it waits for a reply: the list keeps what it held, and the
  // killed run's number.
  std::vector<std::string> args = {SATCLI_PATH, "--biblioteca", KOVRAD_LIBRARY, "ConsultarSAT"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  for (int wait = 0; wait < 500 && Lines(ReadFile(list)).size() < 3; ++wait) usleep(10000);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  const std::vector<std::string> kept = Lines(ReadFile(list));
  ASSERT_EQ(kept.size(), 3u);
  for (const std::string& line : kept) {
    EXPECT_EQ(line.find_first_not_of("0123456789"), std::string::npos) << line;
  }
  const Finished after = Satcli({"ConsultarStatusOperacional", "--codigo", kCode});
  EXPECT_EQ(std::set<std::string>(kept.begin(), kept.end())
                .count(std::to_string(std::stoi(after.out.substr(0, 6)))),
            0u);
}

// ---- Files ----

TEST_F(Field, SavesOnlyToRegularFilesAndReadsBoundedDocuments) {
  Start({"--kit"});
  fs::create_symlink(dir_ / "target.xml", dir_ / "link.xml");
  mkfifo((dir_ / "fifo").c_str(), 0600);
  for (const std::string& path : {std::string("/dev/null"), dir_ / "link.xml", dir_ / "fifo"}) {
    const Finished run =
        Satcli({"--salvar", path, "EnviarDadosVenda", "--codigo", kCode, "--documento", kSale});
    EXPECT_EQ(run.status, 3) << path;
    EXPECT_TRUE(Has(run.err, "not a regular file")) << run.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "target.xml"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  const Finished endless =
      Satcli({"EnviarDadosVenda", "--codigo", kCode, "--documento", "/dev/zero"});
  EXPECT_EQ(endless.status, 3);
  EXPECT_TRUE(Has(endless.err, "holds more than 2097151 bytes")) << endless.err;
}

}  // namespace
}  // namespace kovrad::test
