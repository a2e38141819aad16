// libkovrad-extrato as a point-of-sale program uses it: only through its C
// header, rendering into the caller's memory and printing to fake printers.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_printer.h"
#include "kovrad-extrato.h"

namespace kovrad::receipt::test {
namespace {

std::string Sale() {
  std::ifstream in(std::string(RECEIPT_DATA) + "/cfe-venda.xml", std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

struct Rendered {
  int code;
  std::string bytes;
  std::string message;
};

// The size query, then the extrato into a buffer of exactly that size.
Rendered Render(const std::string& coupon, int format, int options = 0) {
  size_t size = 0;
  char message[512];
  int code = kovrad_extrato_gerar(coupon.data(), coupon.size(), format, options, nullptr, 0, &size,
                                  message, sizeof message);
  if (code != KOVRAD_EXTRATO_OK) return {code, "", message};
  std::string bytes(size, '\0');
  code = kovrad_extrato_gerar(coupon.data(), coupon.size(), format, options, bytes.data(),
                              bytes.size(), &size, message, sizeof message);
  bytes.resize(size);
  return {code, bytes, message};
}

TEST(ExtratoLibrary, RendersEveryFormatIntoCallerMemory) {
  const std::string sale = Sale();
  const Rendered png = Render(sale, KOVRAD_EXTRATO_PNG);
  ASSERT_EQ(png.code, KOVRAD_EXTRATO_OK) << png.message;
  EXPECT_EQ(png.bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
  const Rendered pdf = Render(sale, KOVRAD_EXTRATO_PDF);
  ASSERT_EQ(pdf.code, KOVRAD_EXTRATO_OK) << pdf.message;
  EXPECT_EQ(pdf.bytes.substr(0, 5), "%PDF-");
  const Rendered escpos = Render(sale, KOVRAD_EXTRATO_ESCPOS, KOVRAD_EXTRATO_BOBINA_58);
  ASSERT_EQ(escpos.code, KOVRAD_EXTRATO_OK) << escpos.message;
  EXPECT_EQ(escpos.bytes.substr(0, 2), "\x1b@");

  const Rendered text = Render(sale, KOVRAD_EXTRATO_TEXTO);
  ASSERT_EQ(text.code, KOVRAD_EXTRATO_OK) << text.message;
  EXPECT_NE(text.bytes.find("Extrato"), std::string::npos) << text.bytes;
  EXPECT_EQ(text.bytes.find("SEGUNDA VIA"), std::string::npos);
  const Rendered narrow = Render(sale, KOVRAD_EXTRATO_TEXTO, KOVRAD_EXTRATO_BOBINA_58);
  for (std::istringstream lines(narrow.bytes); !lines.eof();) {
    std::string line;
    std::getline(lines, line);
    EXPECT_LE(line.size(), 32u * 2) << line;  // at most 32 characters, some of two bytes
  }

  const Rendered copy = Render(sale, KOVRAD_EXTRATO_TEXTO, KOVRAD_EXTRATO_SEGUNDA_VIA);
  ASSERT_EQ(copy.code, KOVRAD_EXTRATO_OK);
  EXPECT_EQ(copy.bytes.substr(0, copy.bytes.find('\n')).find_first_not_of(' '),
            (48 - 11) / 2);  // centred
  EXPECT_EQ(copy.bytes.find("SEGUNDA VIA"), (48 - 11) / 2);
}

TEST(ExtratoLibrary, AShortBufferGetsNothingAndTheSizeItNeeds) {
  const std::string sale = Sale();
  size_t needed = 0;
  ASSERT_EQ(kovrad_extrato_gerar(sale.data(), sale.size(), KOVRAD_EXTRATO_TEXTO, 0, nullptr, 0,
                                 &needed, nullptr, 0),
            KOVRAD_EXTRATO_OK);
  std::vector<char> buffer(needed - 1, '#');
  size_t size = 0;
  char message[256];
  EXPECT_EQ(kovrad_extrato_gerar(sale.data(), sale.size(), KOVRAD_EXTRATO_TEXTO, 0, buffer.data(),
                                 buffer.size(), &size, message, sizeof message),
            KOVRAD_EXTRATO_ERRO_ESPACO);
  EXPECT_EQ(size, needed);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(needed - 1, '#'));
  EXPECT_NE(std::string(message).find(std::to_string(needed)), std::string::npos) << message;
}

TEST(ExtratoLibrary, RefusesBadInputWithAMessage) {
  const std::string sale = Sale();
  size_t size = 0;
  char message[256];
  char out[16];
  EXPECT_EQ(kovrad_extrato_gerar("<CFe/>", 6, KOVRAD_EXTRATO_TEXTO, 0, nullptr, 0, &size, message,
                                 sizeof message),
            KOVRAD_EXTRATO_ERRO_CUPOM);
  EXPECT_GT(std::string(message).size(), 0u);
  EXPECT_EQ(kovrad_extrato_gerar(nullptr, 0, KOVRAD_EXTRATO_TEXTO, 0, nullptr, 0, &size, message,
                                 sizeof message),
            KOVRAD_EXTRATO_ERRO_ARGUMENTO);
  EXPECT_EQ(kovrad_extrato_gerar(sale.data(), sale.size(), 9, 0, nullptr, 0, &size, message,
                                 sizeof message),
            KOVRAD_EXTRATO_ERRO_ARGUMENTO);
  EXPECT_EQ(kovrad_extrato_gerar(sale.data(), sale.size(), KOVRAD_EXTRATO_PNG, 0x100, nullptr, 0,
                                 &size, message, sizeof message),
            KOVRAD_EXTRATO_ERRO_ARGUMENTO);
  EXPECT_EQ(kovrad_extrato_gerar(sale.data(), sale.size(), KOVRAD_EXTRATO_PNG, 0, nullptr,
                                 sizeof out, &size, message, sizeof message),
            KOVRAD_EXTRATO_ERRO_ARGUMENTO);
  EXPECT_EQ(kovrad_extrato_gerar(sale.data(), sale.size(), KOVRAD_EXTRATO_PNG, 0, out, sizeof out,
                                 nullptr, message, sizeof message),
            KOVRAD_EXTRATO_ERRO_ARGUMENTO);

  // A short message buffer is cut whole characters at a time: "não" never
  // ends in half of its "ã".
  char cut[11];
  kovrad_extrato_gerar(nullptr, 0, KOVRAD_EXTRATO_TEXTO, 0, nullptr, 0, &size, cut, sizeof cut);
  EXPECT_STREQ(cut, "o cupom n");
  char whole[12];
  kovrad_extrato_gerar(nullptr, 0, KOVRAD_EXTRATO_TEXTO, 0, nullptr, 0, &size, whole, sizeof whole);
  EXPECT_STREQ(whole, "o cupom n\xC3\xA3");
}

// A point-of-sale program with several tills renders from several threads.
TEST(ExtratoLibrary, ThreadsRenderTheSameExtratoAtOnce) {
  const std::string sale = Sale();
  const std::string png = Render(sale, KOVRAD_EXTRATO_PNG).bytes;
  const std::string escpos = Render(sale, KOVRAD_EXTRATO_ESCPOS).bytes;
  std::vector<std::thread> threads;
  std::atomic<int> different = 0;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 3; ++i) {
        if (Render(sale, KOVRAD_EXTRATO_PNG).bytes != png) ++different;
        if (Render(sale, KOVRAD_EXTRATO_ESCPOS).bytes != escpos) ++different;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(different, 0);
}

TEST(ExtratoLibrary, ExportsOnlyItsCInterface) {
  void* library = dlopen(EXTRATO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_NE(dlsym(library, "kovrad_extrato_gerar"), nullptr);
  EXPECT_STREQ(reinterpret_cast<const char* (*)()>(dlsym(library, "kovrad_extrato_versao"))(),
               "1.0.0");
  // The renderer's own functions stay inside: no clash with a program's own.
  EXPECT_EQ(dlsym(library, "_ZN6kovrad7receipt10MakeLayoutERKNS0_6CouponE"), nullptr);
  dlclose(library);
}

// ---- Printing ----------------------------------------------------------------

struct Printed {
  int code;
  std::string message;
};

Printed PrintTo(const std::string& destination, int options = 0) {
  const std::string sale = Sale();
  char message[512] = "";
  const int code = kovrad_extrato_imprimir(sale.data(), sale.size(), options, destination.c_str(),
                                           message, sizeof message);
  return {code, message};
}

std::string Escpos(int options = 0) {
  return Render(Sale(), KOVRAD_EXTRATO_ESCPOS, options).bytes;
}

TEST(ExtratoPrinting, TheExtratoReachesANetworkPrinter) {
  TcpPrinter printer;
  const Printed printed = PrintTo(printer.Destination());
  EXPECT_EQ(printed.code, KOVRAD_EXTRATO_OK) << printed.message;
  EXPECT_NE(printed.message.find("impressora pronta"), std::string::npos) << printed.message;
  EXPECT_EQ(printer.Received(), Escpos());
  EXPECT_EQ(printer.Requests(), 6);  // three before, three after
}

TEST(ExtratoPrinting, PaperOutBeforePrintingSendsNothingAndTheReprintWorks) {
  TcpPrinter printer;
  printer.Set(kPaperOut);
  const Printed refused = PrintTo(printer.Destination());
  EXPECT_EQ(refused.code, KOVRAD_EXTRATO_ERRO_IMPRESSORA);
  EXPECT_NE(refused.message.find("sem papel"), std::string::npos) << refused.message;
  EXPECT_NE(refused.message.find("nada foi impresso"), std::string::npos) << refused.message;
  EXPECT_EQ(printer.Received(), "");

  printer.Set(kReady);
  const Printed reprint = PrintTo(printer.Destination(), KOVRAD_EXTRATO_SEGUNDA_VIA);
  EXPECT_EQ(reprint.code, KOVRAD_EXTRATO_OK) << reprint.message;
  EXPECT_EQ(printer.Received(), Escpos(KOVRAD_EXTRATO_SEGUNDA_VIA));
}

// Paper running out or the printer hanging up midway: a failure to reprint
// after, never a crash.
TEST(ExtratoPrinting, APrinterThatStopsMidwayIsAFailure) {
  for (const auto stop : {&TcpPrinter::RunOutAfter, &TcpPrinter::HangUpAfter}) {
    TcpPrinter printer;
    (printer.*stop)(100);
    const Printed printed = PrintTo(printer.Destination());
    EXPECT_EQ(printed.code, KOVRAD_EXTRATO_ERRO_IMPRESSORA);
    EXPECT_NE(printed.message.find("reimprima"), std::string::npos) << printed.message;
  }
}

TEST(ExtratoPrinting, APrinterThatGivesNoStatusStillPrints) {
  TcpPrinter printer;
  FakeStatus silent;
  silent.silent = true;
  printer.Set(silent);
  const Printed printed = PrintTo(printer.Destination());
  EXPECT_EQ(printed.code, KOVRAD_EXTRATO_OK) << printed.message;
  EXPECT_NE(printed.message.find("não informou"), std::string::npos) << printed.message;
  EXPECT_EQ(printer.Received(), Escpos());
}

TEST(ExtratoPrinting, AnUnreachablePrinterIsReported) {
  int port;
  {
    TcpPrinter closed;
    port = std::stoi(closed.Destination().substr(closed.Destination().rfind(':') + 1));
  }
  const Printed printed = PrintTo("tcp:127.0.0.1:" + std::to_string(port));
  EXPECT_EQ(printed.code, KOVRAD_EXTRATO_ERRO_IMPRESSORA);
  EXPECT_NE(printed.message.find("nada foi impresso"), std::string::npos) << printed.message;
  EXPECT_EQ(PrintTo("tcp:semporta").code, KOVRAD_EXTRATO_ERRO_IMPRESSORA);
  EXPECT_EQ(PrintTo("/nonexistent/lp0").code, KOVRAD_EXTRATO_ERRO_IMPRESSORA);

  // A regular file is no printer: it is left as it was, without status
  // requests written into it.
  char file[] = "/tmp/extrato-printer.XXXXXX";
  close(mkstemp(file));
  const Printed refused = PrintTo(file);
  EXPECT_EQ(refused.code, KOVRAD_EXTRATO_ERRO_IMPRESSORA);
  EXPECT_NE(refused.message.find("não é um dispositivo"), std::string::npos) << refused.message;
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(in.peek(), std::ifstream::traits_type::eof());
  unlink(file);
  EXPECT_EQ(PrintTo("").code, KOVRAD_EXTRATO_ERRO_ARGUMENTO);

  // A CUPS server that is not there: told, and the job is not taken for
  // printed.
  setenv("CUPS_SERVER", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
  const Printed queued = PrintTo("cups:TERMICA");
  EXPECT_EQ(queued.code, KOVRAD_EXTRATO_ERRO_IMPRESSORA);
  EXPECT_NE(queued.message.find("fila CUPS TERMICA"), std::string::npos) << queued.message;
}

// A USB printer device stands in as a pseudo-terminal in raw mode.
class DevicePrinter : public FakePrinter {
 public:
  DevicePrinter() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master_);
    unlockpt(master_);
    path_ = ptsname(master_);
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    thread_ = std::thread([this] { Serve(master_); });
  }
  ~DevicePrinter() {
    Finish();
    close(slave_);
    close(master_);
  }
  // Everything sent has been read once this returns.
  void Finish() {
    Stop();
    if (thread_.joinable()) thread_.join();
  }
  const std::string& path() const { return path_; }

 private:
  int master_ = -1, slave_ = -1;
  std::string path_;
  std::thread thread_;
};

TEST(ExtratoPrinting, TheExtratoReachesAPrinterDevice) {
  DevicePrinter printer;
  const Printed printed = PrintTo(printer.path(), KOVRAD_EXTRATO_BOBINA_58);
  printer.Finish();
  EXPECT_EQ(printed.code, KOVRAD_EXTRATO_OK) << printed.message;
  EXPECT_EQ(printer.Received(), Escpos(KOVRAD_EXTRATO_BOBINA_58));
}

TEST(ExtratoPrinting, ACoverOpenIsReportedInWords) {
  DevicePrinter printer;
  printer.Set(kCoverOpen);
  const Printed printed = PrintTo(printer.path());
  printer.Finish();
  EXPECT_EQ(printed.code, KOVRAD_EXTRATO_ERRO_IMPRESSORA);
  EXPECT_NE(printed.message.find("tampa aberta"), std::string::npos) << printed.message;
  EXPECT_EQ(printer.Received(), "");
}

}  // namespace
}  // namespace kovrad::receipt::test
