// The extrato of a signed coupon, rendered from its layout to each medium:
// PNG and PDF images, plain text and ESC/POS printer bytes.
#pragma once

#include <string>

#include "coupon.h"
#include "layout.h"

namespace kovrad::receipt {

// Thermal paper: its printable width in printer dots (203 dpi) and the
// characters a line of the printer's standard font holds.
struct Paper {
  int dots;
  int columns;
  double millimetres;
};
inline constexpr Paper kPaper80{576, 48, 80.0};
inline constexpr Paper kPaper58{384, 32, 58.0};

// Plain UTF-8 text, one line per line of the extrato (no barcode or QR
// code: the key's digits stand for them).
std::string RenderText(const Layout& layout, int columns);

// A PNG of `scale` pixels per printer dot.
bool RenderPng(const Layout& layout, const Paper& paper, double scale, std::string* png,
               std::string* error);

// A one-page PDF as wide as the paper and as long as the extrato.
bool RenderPdf(const Layout& layout, const Paper& paper, std::string* pdf, std::string* error);

enum class Symbols {
  kPrinter,  // the printer's own QR-code and barcode commands
  kRaster,   // drawn as raster images, for printers without them
};

// ESC/POS bytes: text in code page 850, which holds every Portuguese letter.
bool RenderEscPos(const Layout& layout, const Paper& paper, Symbols symbols, std::string* bytes,
                  std::string* error);

}  // namespace kovrad::receipt
