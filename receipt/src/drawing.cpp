// PNG and PDF through cairo: the layout drawn on a grid of monospaced
// characters as wide as the paper's printable width, in printer dots.
#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <ft2build.h>
#include <png.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <memory>

#include "receipt.h"
#include "symbols.h"

namespace kovrad::receipt {
namespace {

constexpr double kMargin = 16;         // dots of white around the printable width
constexpr double kLineHeight = 26;     // dots per line of text
constexpr double kBarHeight = 64;      // dots
constexpr int kBarModule = 2;          // dots per narrowest bar
constexpr int kQrModule = 4;           // dots per QR module, where the paper allows
constexpr double kSymbolPadding = 12;  // dots above and below a barcode or QR code
constexpr char kFont[] = "DejaVu Sans Mono";
constexpr char kRegularFile[] = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr char kBoldFile[] = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
// DejaVu Sans Mono advances 1233/2048 em per character: the size that puts
// the paper's columns across its printable width.
constexpr double kAdvancePerEm = 1233.0 / 2048.0;

struct SurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextFree {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;
using Context = std::unique_ptr<cairo_t, ContextFree>;

// A block ready to draw: its lines, or its symbol's modules.
struct Placed {
  const Block* block;
  std::vector<std::string> lines;
  std::vector<Modules> symbols;
  int module = 1;
  double height = 0;
};

bool Place(const Layout& layout, const Paper& paper, std::vector<Placed>* placed, double* height,
           std::string* error) {
  *height = 2 * kMargin;
  for (const Block& block : layout) {
    Placed p{&block, {}, {}, 1, 0};
    if (block.kind == Block::Kind::kBarcode) {
      p.module = kBarModule;
      for (const std::string& part : BarcodeParts(block.text, paper.dots, kBarModule)) {
        if (!BarcodeModules(part, &p.symbols.emplace_back(), error)) return false;
        p.height += kBarHeight + kSymbolPadding;
      }
      p.height += kSymbolPadding;
    } else if (block.kind == Block::Kind::kQrCode) {
      if (!QrModules(block.text, &p.symbols.emplace_back(), error)) return false;
      p.module = std::clamp(paper.dots / (p.symbols[0].width + 8), 1, kQrModule);
      p.height = p.symbols[0].width * p.module + 2 * kSymbolPadding;
    } else {
      p.lines = LayOut(block, paper.columns);
      p.height = kLineHeight * static_cast<double>(p.lines.size());
    }
    *height += p.height;
    placed->push_back(std::move(p));
  }
  return true;
}

void DrawModules(cairo_t* cr, const Modules& m, double left, double top, double module_width,
                 double module_height) {
  for (int y = 0; y < m.height; ++y) {
    for (int x = 0; x < m.width;) {
      if (!m.At(x, y)) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < m.width && m.At(x, y)) ++x;
      cairo_rectangle(cr, left + start * module_width, top + y * module_height,
                      (x - start) * module_width, module_height);
    }
  }
  cairo_fill(cr);
}

// The two faces, read once from the files of fonts-dejavu-core, so that an
// extrato looks the same on every machine whatever the font configuration
// would pick; by name where the files are elsewhere. They live as long as
// the process.
struct Faces {
  cairo_font_face_t* regular;
  cairo_font_face_t* bold;
};

cairo_font_face_t* LoadFace(FT_Library library, const char* file, cairo_font_weight_t weight) {
  FT_Face face = nullptr;
  if (library != nullptr && FT_New_Face(library, file, 0, &face) == 0) {
    return cairo_ft_font_face_create_for_ft_face(face, 0);
  }
  return cairo_toy_font_face_create(kFont, CAIRO_FONT_SLANT_NORMAL, weight);
}

const Faces& Fonts() {
  static const Faces faces = [] {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
    return Faces{LoadFace(library, kRegularFile, CAIRO_FONT_WEIGHT_NORMAL),
                 LoadFace(library, kBoldFile, CAIRO_FONT_WEIGHT_BOLD)};
  }();
  return faces;
}

void DrawText(cairo_t* cr, const Placed& p, double top, double advance) {
  cairo_set_font_face(cr, p.block->bold ? Fonts().bold : Fonts().regular);
  cairo_set_font_size(cr, advance / kAdvancePerEm);
  const bool rule = p.block->kind == Block::Kind::kRule && p.block->text == "-";
  for (const std::string& line : p.lines) {
    if (rule) {
      cairo_rectangle(cr, kMargin, top + kLineHeight / 2 - 1, advance * Width(line), 2);
      cairo_fill(cr);
    } else {
      cairo_move_to(cr, kMargin, top + kLineHeight * 0.75);
      cairo_show_text(cr, line.c_str());
    }
    top += kLineHeight;
  }
}

// Draws in black on what the surface already holds: white paper for PDF,
// nothing at all on the image's alpha mask.
void Draw(cairo_t* cr, const std::vector<Placed>& placed, const Paper& paper) {
  const double width = paper.dots + 2 * kMargin;
  cairo_set_source_rgb(cr, 0, 0, 0);
  const double advance = static_cast<double>(paper.dots) / paper.columns;
  double top = kMargin;
  for (const Placed& p : placed) {
    if (p.symbols.empty()) {
      DrawText(cr, p, top, advance);
    } else if (p.block->kind == Block::Kind::kBarcode) {
      double y = top + kSymbolPadding;
      for (const Modules& bars : p.symbols) {
        DrawModules(cr, bars, (width - bars.width * p.module) / 2, y, p.module, kBarHeight);
        y += kBarHeight + kSymbolPadding;
      }
    } else {
      const Modules& qr = p.symbols[0];
      DrawModules(cr, qr, (width - qr.width * p.module) / 2, top + kSymbolPadding, p.module,
                  p.module);
    }
    top += p.height;
  }
}

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

void AppendPng(png_struct* png, png_byte* data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))
      ->append(reinterpret_cast<const char*>(data), length);
}

// A row of the mask as 4-bit grey, ink black on white: sixteen levels keep
// the text's smoothing at half the bytes of 8 bits.
void PackRow(const unsigned char* ink, int width, png_byte* row) {
  for (int x = 0; x + 1 < width; x += 2) {
    row[x / 2] = static_cast<png_byte>((~ink[x] & 0xF0) | ((~ink[x + 1] & 0xF0) >> 4));
  }
  if (width % 2 != 0) row[width / 2] = static_cast<png_byte>(~ink[width - 1] & 0xF0);
}

// libpng reports errors by a long jump back here: nothing in this frame
// needs destroying, and nothing changes after the jump is set.
bool EncodePng(png_struct* writer, png_info* info, cairo_surface_t* mask, png_byte* row) {
  if (setjmp(png_jmpbuf(writer))) return false;
  const int width = cairo_image_surface_get_width(mask);
  const int height = cairo_image_surface_get_height(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  const unsigned char* ink = cairo_image_surface_get_data(mask);
  // Fast compression: the image is mostly white, and a long extrato must not
  // keep a till waiting.
  png_set_compression_level(writer, 1);
  png_set_filter(writer, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_set_IHDR(writer, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 4,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(writer, info);
  for (int y = 0; y < height; ++y) {
    PackRow(ink + static_cast<ptrdiff_t>(y) * stride, width, row);
    png_write_row(writer, row);
  }
  png_write_end(writer, info);
  return true;
}

bool WritePng(cairo_surface_t* mask, std::string* png, std::string* error) {
  png->clear();
  std::vector<png_byte> row(static_cast<size_t>(cairo_image_surface_get_width(mask)) / 2 + 1);
  png_struct* writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_info* info = writer == nullptr ? nullptr : png_create_info_struct(writer);
  bool written = false;
  if (info != nullptr) {
    png_set_write_fn(writer, png, AppendPng, nullptr);
    written = EncodePng(writer, info, mask, row.data());
  }
  png_destroy_write_struct(&writer, &info);
  if (!written) *error = "falha ao gravar a imagem PNG";
  return written;
}

bool Check(cairo_status_t status, std::string* error) {
  if (status == CAIRO_STATUS_SUCCESS) return true;
  *error = std::string("falha ao desenhar o extrato: ") + cairo_status_to_string(status);
  return false;
}

}  // namespace

bool RenderPng(const Layout& layout, const Paper& paper, double scale, std::string* png,
               std::string* error) {
  std::vector<Placed> placed;
  double height = 0;
  if (!Place(layout, paper, &placed, &height, error)) return false;
  const int pixels_wide = static_cast<int>((paper.dots + 2 * kMargin) * scale + 0.5);
  const int pixels_high = static_cast<int>(height * scale + 0.5);
  // Cairo's images stop at 32767 pixels a side.
  if (pixels_high > 32767 || pixels_wide > 32767) {
    *error = "o extrato é longo demais para uma imagem PNG; use PDF";
    return false;
  }
  // Ink only: an alpha mask is a quarter of a colour image to fill and write.
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_A8, pixels_wide, pixels_high));
  Context cr(cairo_create(surface.get()));
  cairo_scale(cr.get(), scale, scale);
  Draw(cr.get(), placed, paper);
  if (!Check(cairo_status(cr.get()), error)) return false;
  cairo_surface_flush(surface.get());
  return WritePng(surface.get(), png, error);
}

bool RenderPdf(const Layout& layout, const Paper& paper, std::string* pdf, std::string* error) {
  std::vector<Placed> placed;
  double height = 0;
  if (!Place(layout, paper, &placed, &height, error)) return false;
  // The printable width plus margins is the paper's width in points.
  const double points_per_dot = paper.millimetres / 25.4 * 72 / (paper.dots + 2 * kMargin);
  pdf->clear();
  {
    Surface surface(cairo_pdf_surface_create_for_stream(
        Append, pdf, (paper.dots + 2 * kMargin) * points_per_dot, height * points_per_dot));
    Context cr(cairo_create(surface.get()));
    cairo_scale(cr.get(), points_per_dot, points_per_dot);
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    Draw(cr.get(), placed, paper);
    if (!Check(cairo_status(cr.get()), error)) return false;
    cairo_surface_finish(surface.get());
    if (!Check(cairo_surface_status(surface.get()), error)) return false;
  }
  return true;
}

}  // namespace kovrad::receipt
