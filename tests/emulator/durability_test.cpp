// satemu killed in the middle of sales, and satemu on a folder that fills
// up: the coupons the host was given and the device's counter always agree,
// and no number is skipped or given twice.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <optional>
#include <random>

#include "fake_device.h"
#include "host_port.h"
#include "sale_documents.h"
#include "satemu_process.h"
#include "zlib_stream.h"

namespace kovrad::test {
namespace {

constexpr char kCode[] = "12345678";
constexpr int kReplyMs = 10000;

// The host, with the sale request's binary payload.
class Host {
 public:
  explicit Host(const Satemu& emulator) : port_(emulator.dev_dir() + "/ttyACM0") {}

  void SendSale(int session) {
    const std::string stream = satemu::Compress(SampleSale());
    std::string request =
        std::to_string(1000000 + session).substr(1) + "|EnviarDadosVenda|" + kCode + "|";
    for (int i = 0; i < 4; ++i) request += static_cast<char>(stream.size() >> (8 * i));
    port_.Write(request + stream);
  }
  std::optional<std::string> Reply(int timeout_ms = kReplyMs) { return port_.Reply(timeout_ms); }
  // The coupon number the device remembers for a sale's session; 0 when
  // it remembers no sale there.
  int NumberOf(int session) {
    port_.Write("000900|ConsultarNumeroSessao|" + std::string(kCode) + "|" +
                std::to_string(session));
    const std::string reply = port_.Reply().value_or("");
    const size_t key = reply.find("|CFe");
    if (reply.find("|06000|") == std::string::npos || key == std::string::npos ||
        reply.size() < key + 48) {
      return 0;
    }
    // nCFe: six digits after the UF, the month, the CNPJ, the model and the serial.
    return std::stoi(reply.substr(key + 4 + 31, 6));
  }

 private:
  Port port_;
};

TEST(Durability, KilledAtAnyMomentItNeitherSkipsNorReusesACouponNumber) {
  TempDir dir;
  std::mt19937 random(20261207);
  int last = 0;  // the last coupon number the host knows of
  int session = 1;
  std::optional<int> in_flight;  // the sale being made when the device died
  bool in_flight_answered = false;
  for (int round = 0; round < 8; ++round) {
    Satemu emulator(dir.path(), {"--kit"});
    Host host(emulator);
    if (in_flight) {
      // The sale cut short either happened, as the next number, or not at all.
      const int number = host.NumberOf(*in_flight);
      EXPECT_TRUE(number == 0 || number == last + 1) << number << " after " << last;
      EXPECT_FALSE(in_flight_answered && number == 0) << "a sale the host was given is forgotten";
      if (number != 0) last = number;
    }
    for (int sale = 0; sale < 2; ++sale, ++session) {
      host.SendSale(session);
      ASSERT_NE(host.Reply().value_or("").find("|06000|"), std::string::npos);
      EXPECT_EQ(host.NumberOf(session), last + 1);
      last = host.NumberOf(session);
    }
    in_flight = session++;
    host.SendSale(*in_flight);
    in_flight_answered = host.Reply(std::uniform_int_distribution<int>(0, 25)(random)).has_value();
    emulator.Stop(SIGKILL);
  }
}

TEST(Durability, AFullFolderRefusesSalesInsteadOfAnsweringThemUnsaved) {
  TempDir dir;
  { Satemu first(dir.path(), {"--kit"}); }
  // Files of satemu past this size cannot grow: its folder is full.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  const rlimit small = {256 * 1024, old.rlim_max};
  signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::optional<Satemu> emulator;
  emulator.emplace(dir.path());
  setrlimit(RLIMIT_FSIZE, &old);

  int issued = 0, refused = 0, session = 1;
  {
    Host host(*emulator);
    for (; session <= 200 && refused < 3; ++session) {
      host.SendSale(session);
      const std::string reply = host.Reply().value_or("(no reply)");
      if (reply.find("|06000|") != std::string::npos) {
        EXPECT_EQ(refused, 0) << "a sale kept after the folder filled up";
        ++issued;
      } else {
        EXPECT_NE(reply.find("|06099|"), std::string::npos) << reply.substr(0, 80);
        ++refused;
      }
    }
  }
  EXPECT_GT(issued, 0);
  EXPECT_EQ(refused, 3);
  emulator->Stop(SIGKILL);
  emulator.reset();

  // With room again, the next sale follows the last one issued.
  Satemu again(dir.path());
  Host host(again);
  EXPECT_EQ(host.NumberOf(issued), issued);
  EXPECT_EQ(host.NumberOf(issued + 1), 0);
  host.SendSale(session);
  ASSERT_NE(host.Reply().value_or("").find("|06000|"), std::string::npos);
  EXPECT_EQ(host.NumberOf(session), issued + 1);
}

}  // namespace
}  // namespace kovrad::test
