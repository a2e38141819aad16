// ESC/POS for thermal printers: text in code page 850, the key's barcode
// and the QR code by the printer's own commands or as raster images.
#include <iconv.h>

#include <algorithm>
#include <memory>

#include "receipt.h"
#include "symbols.h"

namespace kovrad::receipt {
namespace {

constexpr char kEsc = 0x1B, kGs = 0x1D;
constexpr int kBarModule = 2;   // dots per narrowest bar
constexpr int kBarHeight = 64;  // dots
constexpr int kQrModule = 4;    // dots per module

struct IconvClose {
  void operator()(iconv_t* cd) const {
    iconv_close(*cd);
    delete cd;
  }
};

// UTF-8 to code page 850; a character it lacks becomes its nearest
// transliteration or "?".
class Cp850 {
 public:
  bool Open() {
    iconv_t cd = iconv_open("CP850//TRANSLIT", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    cd_.reset(new iconv_t(cd));
    return true;
  }

  std::string Convert(const std::string& text) {
    std::string out(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char* to = out.data();
    size_t out_left = out.size();
    while (in_left > 0) {
      if (iconv(*cd_, &in, &in_left, &to, &out_left) != static_cast<size_t>(-1)) break;
      if (out_left == 0) break;
      // Not UTF-8, or nothing near it in the code page: one "?" for it.
      *to++ = '?';
      --out_left;
      ++in;
      --in_left;
      while (in_left > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
        ++in;
        --in_left;
      }
    }
    iconv(*cd_, nullptr, nullptr, nullptr, nullptr);
    out.resize(out.size() - out_left);
    return out;
  }

 private:
  std::unique_ptr<iconv_t, IconvClose> cd_;
};

void Command(std::string* out, std::initializer_list<int> bytes) {
  for (int b : bytes) out->push_back(static_cast<char>(b));
}

// GS v 0: a bitmap as wide as the paper, the modules centred in it.
void Raster(std::string* out, const Modules& m, int dots, int module_width, int module_height) {
  const int bytes_wide = dots / 8;
  const int rows = m.height * module_height;
  const int left = (dots - m.width * module_width) / 2;
  Command(out, {kGs, 'v', '0', 0, bytes_wide & 0xFF, bytes_wide >> 8, rows & 0xFF, rows >> 8});
  std::string row(static_cast<size_t>(bytes_wide), '\0');
  for (int y = 0; y < rows; ++y) {
    std::fill(row.begin(), row.end(), '\0');
    for (int x = 0; x < m.width * module_width; ++x) {
      const int dot = left + x;
      if (dot >= 0 && dot < dots && m.At(x / module_width, y / module_height)) {
        row[static_cast<size_t>(dot / 8)] |= static_cast<char>(0x80 >> (dot % 8));
      }
    }
    *out += row;
  }
}

// GS k, Code 128 in set C: one byte per pair of digits.
void PrinterBarcode(std::string* out, const std::string& digits) {
  Command(out, {kGs, 'h', kBarHeight, kGs, 'w', kBarModule, kGs, 'H', 0});
  Command(out, {kGs, 'k', 73, static_cast<int>(digits.size() / 2 + 2), '{', 'C'});
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    out->push_back(static_cast<char>((digits[i] - '0') * 10 + (digits[i + 1] - '0')));
  }
  out->push_back('\n');
}

// GS ( k: model 2, module size, level M, store, print.
void PrinterQr(std::string* out, const std::string& content) {
  const size_t stored = content.size() + 3;
  Command(out, {kGs, '(', 'k', 4, 0, '1', 'A', '2', 0});
  Command(out, {kGs, '(', 'k', 3, 0, '1', 'C', kQrModule});
  Command(out, {kGs, '(', 'k', 3, 0, '1', 'E', '1'});
  Command(out, {kGs, '(', 'k', static_cast<int>(stored & 0xFF), static_cast<int>(stored >> 8), '1',
                'P', '0'});
  *out += content;
  Command(out, {kGs, '(', 'k', 3, 0, '1', 'Q', '0'});
}

bool Symbol(std::string* out, const Block& block, const Paper& paper, Symbols symbols,
            std::string* error) {
  Command(out, {kEsc, 'a', 1});
  if (block.kind == Block::Kind::kBarcode) {
    for (const std::string& part : BarcodeParts(block.text, paper.dots, kBarModule)) {
      Modules bars;
      if (!BarcodeModules(part, &bars, error)) return false;
      if (symbols == Symbols::kPrinter) {
        PrinterBarcode(out, part);
      } else {
        Raster(out, bars, paper.dots, kBarModule, kBarHeight);
      }
    }
  } else {
    Modules qr;
    if (!QrModules(block.text, &qr, error)) return false;
    if (symbols == Symbols::kPrinter && block.text.size() <= 7089) {
      PrinterQr(out, block.text);
    } else {
      Raster(out, qr, paper.dots, std::clamp(paper.dots / (qr.width + 8), 1, kQrModule),
             std::clamp(paper.dots / (qr.width + 8), 1, kQrModule));
    }
  }
  Command(out, {'\n', kEsc, 'a', 0});
  return true;
}

}  // namespace

bool RenderEscPos(const Layout& layout, const Paper& paper, Symbols symbols, std::string* bytes,
                  std::string* error) {
  Cp850 cp850;
  if (!cp850.Open()) {
    *error = "conversão para a página de código 850 indisponível";
    return false;
  }
  std::string out;
  Command(&out, {kEsc, '@', kEsc, 't', 2});  // reset, code page 850
  for (const Block& block : layout) {
    if (block.kind == Block::Kind::kBarcode || block.kind == Block::Kind::kQrCode) {
      if (!Symbol(&out, block, paper, symbols, error)) return false;
      continue;
    }
    if (block.bold) Command(&out, {kEsc, 'E', 1});
    for (const std::string& line : LayOut(block, paper.columns)) {
      out += cp850.Convert(line);
      out += '\n';
    }
    if (block.bold) Command(&out, {kEsc, 'E', 0});
  }
  Command(&out, {kEsc, 'd', 4, kGs, 'V', 66, 0});  // feed past the cutter, cut
  *bytes = std::move(out);
  return true;
}

}  // namespace kovrad::receipt
