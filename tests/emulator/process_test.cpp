// The satemu program on its own: the test plays the host on the published
// port, and checks what the program leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "fake_device.h"
#include "frames.h"
#include "host_port.h"
#include "satemu_process.h"

namespace kovrad::test {
namespace {

namespace fs = std::filesystem;
using satemu::Bytes;
using satemu::RequestBytes;

TEST(SatemuAlone, ResynchronisesAfterGarbageAndBadFrames) {
  TempDir dir;
  Satemu emulator(dir.path());
  Port port(emulator.dev_dir() + "/ttyACM0");
  ASSERT_TRUE(port.ok());

  Bytes bad_checksum = RequestBytes("000001|ConsultarSAT");
  ++bad_checksum.back();
  Bytes too_long = RequestBytes("000002|ConsultarSAT");
  too_long[7] = 0x7F;  // 2 GiB announced
  Bytes stream = {0x00, 0xFF, 0x01, 0x01, 0x13};
  for (const Bytes& part : {bad_checksum, too_long, RequestBytes("000003|ConsultarSAT")}) {
    stream.insert(stream.end(), part.begin(), part.end());
  }
  port.Write(stream);
  EXPECT_EQ(port.Reply(), "000003|08000|SAT em operação||");

  // A frame that never finishes is given up once the line is quiet, and the
  // request behind it is answered.
  port.Write(Bytes{0x01, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 'x'});
  port.Write("000004|ConsultarSAT");
  EXPECT_EQ(port.Reply(), "000004|08000|SAT em operação||");

  const std::string errors = emulator.Errors();
  EXPECT_NE(errors.find("bad checksum"), std::string::npos) << errors;
  EXPECT_NE(errors.find("announcing 2130706451 bytes"), std::string::npos) << errors;
  EXPECT_NE(errors.find("abandoned"), std::string::npos) << errors;
  EXPECT_NE(errors.find("outside any request frame"), std::string::npos) << errors;
}

TEST(SatemuAlone, AnswersMalformedRequestsAndKeepsRunning) {
  TempDir dir;
  Satemu emulator(dir.path(), {"--kit"});
  Port port(emulator.dev_dir() + "/ttyACM0");
  ASSERT_TRUE(port.ok());
  const std::string requests[] = {
      "",
      "ConsultarSAT",
      "000001|",
      "abcdef|ConsultarSAT",
      "000001|Inexistente|x",
      "000001|AtivarSAT",
      "000001|AtivarSAT|9|||",
      "000001|AssociarAssinatura|12345678",
      "000001|TrocarCodigoDeAtivacaoSAT|12345678|x",
      "000001|ConsultarNumeroSessao|12345678|-",
      "000001|ConfigurarInterfaceDeRede|12345678|<config><x",
      "000001|ComunicarCertificadoICPBRASIL|12345678|-----BEGIN CERTIFICATE-----\nxx",
      std::string("000001|EnviarDadosVenda|12345678|\xFF\xFF\xFF\xFF\0\0", 39),
  };
  for (const std::string& request : requests) {
    port.Write(request);
    const auto reply = port.Reply();
    ASSERT_TRUE(reply.has_value()) << request;
    EXPECT_NE(reply->find('|'), std::string::npos) << request << " -> " << *reply;
  }
  port.Write("000002|ConsultarStatusOperacional|12345678");
  const auto status = port.Reply();
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->rfind("000002|10000|", 0), 0u) << *status;
  EXPECT_TRUE(emulator.Running());
}

TEST(SatemuAlone, RemovesWhatItPublishedWhenStopped) {
  TempDir dir;
  for (int signal_number : {SIGINT, SIGTERM}) {
    Satemu emulator(dir.path(), {"--port", "3", "--serial", "123456789"});
    EXPECT_EQ(fs::read_symlink(dir / "dev/ttyACM3").string().rfind("/dev/pts/", 0), 0u);
    EXPECT_EQ(ReadFile(dir / "sys/class/tty/ttyACM3/device/../idVendor"), "0525\n");
    EXPECT_EQ(ReadFile(dir / "sys/class/tty/ttyACM3/device/../idProduct"), "a4a7\n");
    EXPECT_EQ(ReadFile(dir / "sys/class/tty/ttyACM3/device/../serial"), "123456789\n");
    EXPECT_EQ(emulator.Stop(signal_number), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dev/ttyACM3")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "sys/class/tty/ttyACM3")));
    EXPECT_FALSE(fs::exists(dir / "sys/devices/emu3"));
    EXPECT_TRUE(fs::exists(dir / "state.3"));
  }
}

TEST(SatemuAlone, RefusesToStartOnWhatItCannotUse) {
  TempDir dir;
  std::string errors;
  {
    Satemu first(dir.path());
    EXPECT_EQ(Satemu::RunToEnd({"--dir", dir.path()}, &errors), 1);
    EXPECT_NE(errors.find("in use"), std::string::npos) << errors;
    // Another port, but the same state file: two devices cannot share one.
    EXPECT_EQ(
        Satemu::RunToEnd({"--dir", dir.path(), "--port", "1", "--state", dir / "state"}, &errors),
        1);
    EXPECT_NE(errors.find("in use"), std::string::npos) << errors;
  }
  // A signing key it cannot read is left alone too.
  WriteFile(dir / "sat-900000000.key", "not a key");
  EXPECT_EQ(Satemu::RunToEnd({"--dir", dir.path()}, &errors), 1);
  EXPECT_NE(errors.find("no signing key"), std::string::npos) << errors;
  EXPECT_EQ(ReadFile(dir / "sat-900000000.key"), "not a key");
  fs::remove(dir / "sat-900000000.key");

  WriteFile(dir / "state", "format=1\nlock=7\n");
  EXPECT_EQ(Satemu::RunToEnd({"--dir", dir.path()}, &errors), 1);
  EXPECT_NE(errors.find("state:2:"), std::string::npos) << errors;
  EXPECT_EQ(ReadFile(dir / "state"), "format=1\nlock=7\n");

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{},
        {"--dir"},
        {"--dir", "x", "--port", "1000"},
        {"--dir", "x", "--fault", "loud"},
        {"--dir", "x", "--fault-only", "ConsultarSAT"},
        {"--dir", "x", "--serial", "12|34"},
        {"--dir", "x", "--lock", "5"},
        {"--dir", "x", "--certificate-days", "3651"},
        {"--dir", "x", "--last-transmission", "-1"},
        {"--dir", "x", "--pending", "1000000"},
        {"--dir", "x", "--fault", "silent", "--fault-only", "ConsultaSAT"},
        {"--dir", "x", "--bogus"},
        {"--dir", "x", "stray"},
        {"stray"}}) {
    EXPECT_EQ(Satemu::RunToEnd(args, &errors), 2) << (args.empty() ? "" : args.back());
  }
}

}  // namespace
}  // namespace kovrad::test
