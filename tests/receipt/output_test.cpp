// Rendering: the marks in the image decode to the coupon's own data, the
// text holds the coupon's values on every width, and accented letters
// survive each output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "coupons.h"
#include "receipt.h"

namespace kovrad::receipt::test {
namespace {

// A scratch file removed again at the end of the test.
class TempFile {
 public:
  explicit TempFile(const std::string& suffix) {
    char name[] = "/tmp/receipt-test.XXXXXX";
    const int fd = mkstemp(name);
    close(fd);
    unlink(name);
    path_ = name + suffix;
  }
  ~TempFile() { unlink(path_.c_str()); }
  const std::string& path() const { return path_; }
  void Write(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }

 private:
  std::string path_;
};

bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

// Every symbol zbar finds in the PNG, one decoded text each.
std::multiset<std::string> Decoded(const Coupon& coupon, const Paper& paper) {
  std::string png, error;
  EXPECT_TRUE(RenderPng(MakeLayout(coupon), paper, 1.0, &png, &error)) << error;
  TempFile file(".png");
  file.Write(png);
  // --raw prints each symbol's data alone on its line; binary mode keeps the
  // QR code's bytes as they are.
  const std::string text = Output("zbarimg --quiet --raw -Sqrcode.binary " + file.path());
  std::multiset<std::string> found;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) found.insert(text.substr(start, end - start));
    start = end + 1;
  }
  return found;
}

TEST(OutputTest, MarksInTheImageDecodeToTheCouponsKeyAndQrContent) {
  if (!HaveTool("zbarimg")) GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
  const Coupon sale = SignedSale();
  const Coupon cancellation = SignedCancellation();
  EXPECT_EQ(Decoded(sale, kPaper80), (std::multiset<std::string>{sale.key, QrContent(sale)}));
  EXPECT_EQ(Decoded(cancellation, kPaper80),
            (std::multiset<std::string>{sale.key, cancellation.key, QrContent(cancellation)}));
  // On 58 mm paper the key is printed in two barcodes of 22 digits.
  EXPECT_EQ(
      Decoded(sale, kPaper58),
      (std::multiset<std::string>{sale.key.substr(0, 22), sale.key.substr(22), QrContent(sale)}));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& left,
             const std::string& right) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.starts_with(left) && line.ends_with(" " + right);
  });
}

TEST(OutputTest, TextCarriesTheCouponsValuesOnEveryWidth) {
  const Coupon sale = SignedSale();
  for (int columns : {48, 32}) {
    SCOPED_TRACE(columns);
    const std::vector<std::string> lines = Lines(RenderText(MakeLayout(sale), columns));
    for (const std::string& line : lines) EXPECT_LE(Width(line), columns) << line;
    EXPECT_TRUE(HasLine(lines, "Total bruto de itens", "106,50"));
    EXPECT_TRUE(HasLine(lines, "Subtotal", "107,20"));
    EXPECT_TRUE(HasLine(lines, "Desconto sobre subtotal", "-5,00"));
    EXPECT_TRUE(HasLine(lines, "TOTAL R$", "102,20"));
    EXPECT_TRUE(HasLine(lines, "Cartão de Crédito", "50,00"));
    EXPECT_TRUE(HasLine(lines, "Dinheiro", "60,00"));
    EXPECT_TRUE(HasLine(lines, "Troco R$", "7,80"));
    EXPECT_TRUE(HasLine(lines, "", "49,80"));  // the first item before its adjustments
    EXPECT_TRUE(HasLine(lines, "  desconto sobre item", "-1,80"));
    EXPECT_TRUE(HasLine(lines, "  acréscimo sobre item", "+2,50"));
    EXPECT_TRUE(HasLine(lines, "", "15,33"));  // the approximate taxes
  }
}

TEST(OutputTest, ServiceShowsItsIssqnDeductionAndBase) {
  const auto lines = Lines(RenderText(MakeLayout(Read(DataFile("cfe-servico.xml"))), 48));
  EXPECT_TRUE(HasLine(lines, "  dedução para ISSQN", "10,00"));
  EXPECT_TRUE(HasLine(lines, "  base de cálculo ISSQN", "108,35"));
}

TEST(OutputTest, LongDescriptionsWrapWithinTheColumns) {
  std::string xml = DataFile("cfe-venda.xml");
  const std::string description =
      "CAFÉ TORRADO E MOÍDO EXTRAFORTE EDIÇÃO ESPECIAL DE COLEÇÃO EMBALAGEM A VÁCUO "
      "COM VÁLVULA AROMÁTICA PACOTE 500G";
  xml.replace(xml.find("CAFE TORRADO 500G EMBALAGEM PRESENTE"), 36, description);
  const Coupon sale = Read(xml);
  for (int columns : {48, 32}) {
    std::string joined;
    for (const std::string& line : Lines(RenderText(MakeLayout(sale), columns))) {
      EXPECT_LE(Width(line), columns) << line;
      joined += line + " ";
    }
    // Every word of the description is there, in order, none cut.
    size_t at = 0;
    for (size_t start = 0; start < description.size();) {
      const size_t end = std::min(description.find(' ', start), description.size());
      at = joined.find(description.substr(start, end - start), at);
      EXPECT_NE(at, std::string::npos) << description.substr(start, end - start);
      start = end + 1;
    }
  }
}

TEST(OutputTest, AccentedLettersSurviveEveryOutput) {
  const Layout layout = MakeLayout(SignedSale());
  EXPECT_NE(RenderText(layout, 48).find("ELETRÔNICO"), std::string::npos);

  std::string bytes, error;
  ASSERT_TRUE(RenderEscPos(layout, kPaper80, Symbols::kPrinter, &bytes, &error)) << error;
  EXPECT_NE(bytes.find("\x1Bt\x02"), std::string::npos);  // code page 850 selected
  EXPECT_NE(bytes.find("ELETR\xE2NICO"), std::string::npos);
  EXPECT_NE(bytes.find("Cart\xC6o de Cr\x82"
                       "dito"),
            std::string::npos);

  if (!HaveTool("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  ASSERT_TRUE(RenderPdf(layout, kPaper80, &bytes, &error)) << error;
  TempFile pdf(".pdf");
  pdf.Write(bytes);
  const std::string text = Output("pdftotext -enc UTF-8 " + pdf.path() + " -");
  EXPECT_NE(text.find("CUPOM FISCAL ELETRÔNICO - SAT"), std::string::npos) << text;
  EXPECT_NE(text.find("OBSERVAÇÕES DO CONTRIBUINTE"), std::string::npos);
}

TEST(OutputTest, EscPosUsesThePrintersSymbolsOrRasterImages) {
  const Coupon sale = SignedSale();
  const Layout layout = MakeLayout(sale);
  std::string native, raster, error;
  ASSERT_TRUE(RenderEscPos(layout, kPaper58, Symbols::kPrinter, &native, &error)) << error;
  ASSERT_TRUE(RenderEscPos(layout, kPaper58, Symbols::kRaster, &raster, &error)) << error;
  const std::string qr = QrContent(sale);
  const std::string stored = {0x1D,
                              '(',
                              'k',
                              static_cast<char>((qr.size() + 3) & 0xFF),
                              static_cast<char>((qr.size() + 3) >> 8),
                              '1',
                              'P',
                              '0'};
  EXPECT_NE(native.find(stored + qr), std::string::npos);
  EXPECT_EQ(std::count(native.begin(), native.end(), '{'), 2);  // two Code-128C halves
  EXPECT_EQ(raster.find("\x1D(k"), std::string::npos);
  EXPECT_NE(raster.find("\x1Dv0"), std::string::npos);
  for (const std::string& bytes : {native, raster}) {
    EXPECT_TRUE(bytes.starts_with("\x1B@"));
    EXPECT_TRUE(bytes.ends_with(std::string("\x1DV\x42\x00", 4)));
  }
}

}  // namespace
}  // namespace kovrad::receipt::test
