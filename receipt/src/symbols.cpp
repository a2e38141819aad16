#include "symbols.h"

#include <qrencode.h>
#include <zint.h>

#include <cmath>
#include <memory>

namespace kovrad::receipt {
namespace {

struct QrFree {
  void operator()(QRcode* code) const { QRcode_free(code); }
};
struct ZintFree {
  void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

}  // namespace

bool QrModules(const std::string& content, Modules* modules, std::string* error) {
  std::unique_ptr<QRcode, QrFree> code(
      QRcode_encodeData(static_cast<int>(content.size()),
                        reinterpret_cast<const unsigned char*>(content.data()), 0, QR_ECLEVEL_M));
  if (!code) {
    *error = "o conteúdo do QR Code não cabe num símbolo";
    return false;
  }
  modules->width = modules->height = code->width;
  modules->dark.resize(static_cast<size_t>(code->width) * code->width);
  for (size_t i = 0; i < modules->dark.size(); ++i) modules->dark[i] = code->data[i] & 1;
  return true;
}

bool BarcodeModules(const std::string& digits, Modules* modules, std::string* error) {
  std::unique_ptr<zint_symbol, ZintFree> symbol(ZBarcode_Create());
  symbol->symbology = BARCODE_CODE128;  // all digits, even count: zint codes them in set C
  symbol->show_hrt = 0;
  symbol->whitespace_width = 0;
  if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(digits.data()),
                      static_cast<int>(digits.size())) >= ZINT_ERROR ||
      ZBarcode_Buffer_Vector(symbol.get(), 0) >= ZINT_ERROR) {
    *error = std::string("código de barras impossível: ") + symbol->errtxt;
    return false;
  }
  // The vector's bars in modules: its width spans exactly the symbol's modules.
  const float unit = symbol->vector->width / static_cast<float>(symbol->width);
  modules->width = symbol->width;
  modules->height = 1;
  modules->dark.assign(static_cast<size_t>(symbol->width), false);
  for (const zint_vector_rect* r = symbol->vector->rectangles; r != nullptr; r = r->next) {
    const int begin = static_cast<int>(std::lround(r->x / unit));
    const int end = static_cast<int>(std::lround((r->x + r->width) / unit));
    for (int x = std::max(begin, 0); x < std::min(end, modules->width); ++x) {
      modules->dark[static_cast<size_t>(x)] = true;
    }
  }
  return true;
}

std::vector<std::string> BarcodeParts(const std::string& digits, int dots, int module_dots) {
  // Code-128C: start, check and stop symbols around 11 modules per digit
  // pair. The quiet zones lie in the paper's margins, beyond the printable
  // width.
  const auto modules = [](size_t count) { return static_cast<int>(35 + 11 * (count / 2)); };
  if (modules(digits.size()) * module_dots <= dots || digits.size() < 4) return {digits};
  const size_t half = digits.size() / 4 * 2;
  return {digits.substr(0, half), digits.substr(half)};
}

}  // namespace kovrad::receipt
