// The summary on A4 pages through cairo: the month's figures, a table of
// days and one of means of payment, a new page when one is full.
#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <memory>

#include "archive/bundle.h"
#include "summary_text.h"

namespace kovrad::archive {
namespace {

constexpr double kWidth = 595.28, kHeight = 841.89;  // A4 in points
constexpr double kMargin = 42;
constexpr double kLine = 14;
constexpr double kFontSize = 8.5;
// The files themselves, not a font looked up by name: the same letters on
// every machine, and no font configuration read.
constexpr const char* kFontFiles[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                      "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"};

constexpr const char* kMonths[] = {"janeiro",  "fevereiro", "março",    "abril",
                                   "maio",     "junho",     "julho",    "agosto",
                                   "setembro", "outubro",   "novembro", "dezembro"};

// Right edges of the day table's columns, from the date to the net.
constexpr double kDayColumns[] = {kMargin + 58,    160, 225, 285, 345, 410, 450, 505,
                                  kWidth - kMargin};

// Loaded once, kept for the life of the process; a missing file falls back
// on the font of that name.
cairo_font_face_t* Face(bool bold) {
  static const std::array<cairo_font_face_t*, 2> faces = [] {
    std::array<cairo_font_face_t*, 2> loaded{};
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
    for (size_t i = 0; i < loaded.size(); ++i) {
      FT_Face face = nullptr;
      loaded[i] = library != nullptr && FT_New_Face(library, kFontFiles[i], 0, &face) == 0
                      ? cairo_ft_font_face_create_for_ft_face(face, 0)
                      : cairo_toy_font_face_create(
                            "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                            i == 1 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    }
    return loaded;
  }();
  return faces[bold ? 1 : 0];
}

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

class Pages {
 public:
  explicit Pages(cairo_t* cr) : cr_(cr) { Font(false); }

  void Font(bool bold) {
    cairo_set_font_face(cr_, Face(bold));
    cairo_set_font_size(cr_, kFontSize);
  }
  // Room for `lines` more lines, on a new page when this one is full.
  bool Room(int lines) {
    if (y_ + lines * kLine <= kHeight - kMargin) return false;
    cairo_show_page(cr_);
    y_ = kMargin;
    return true;
  }
  void Left(const std::string& text, double x) {
    cairo_move_to(cr_, x, y_);
    cairo_show_text(cr_, text.c_str());
  }
  void Right(const std::string& text, double right) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr_, text.c_str(), &extents);
    cairo_move_to(cr_, right - extents.x_advance, y_);
    cairo_show_text(cr_, text.c_str());
  }
  void Next(double lines = 1) { y_ += lines * kLine; }
  void Title(const std::string& text) {
    Room(3);
    Font(true);
    Left(text, kMargin);
    Font(false);
    Next(1.4);
  }

 private:
  cairo_t* cr_;
  double y_ = kMargin;
};

std::string MonthTitle(const std::string& month) {
  const int number = month.size() == 7 ? std::stoi(month.substr(5)) : 0;
  if (number < 1 || number > 12) return month;
  return std::string(kMonths[number - 1]) + " de " + month.substr(0, 4);
}

std::string CnpjText(const std::string& cnpj) {
  if (cnpj.empty()) return "todos os emitentes do arquivo";
  if (cnpj.size() != 14) return "CNPJ " + cnpj;
  return "CNPJ " + cnpj.substr(0, 2) + "." + cnpj.substr(2, 3) + "." + cnpj.substr(5, 3) + "/" +
         cnpj.substr(8, 4) + "-" + cnpj.substr(12);
}

void MonthFigures(Pages& p, const Summary& s) {
  static const char* kLabels[] = {
      "Vendas (cupons)",         "Valor bruto (vProd)",    "Descontos",       "Acréscimos",
      "Total das vendas (vCFe)", "Cancelamentos (cupons)", "Valor cancelado", "Líquido"};
  const std::vector<std::string> cells = FigureCells(s.all);
  p.Title("Mês");
  for (size_t i = 0; i < cells.size(); ++i) {
    p.Room(1);
    p.Left(kLabels[i], kMargin);
    p.Right(cells[i], kMargin + 260);
    p.Next();
  }
  p.Left("Troco", kMargin);
  p.Right(Money(s.change), kMargin + 260);
  p.Next(1.6);
}

void DayHeader(Pages& p) {
  static const char* kHeads[] = {"Dia",   "Vendas", "Bruto",     "Descontos", "Acréscimos",
                                 "Total", "Canc.",  "Cancelado", "Líquido"};
  p.Font(true);
  p.Left(kHeads[0], kMargin);
  for (size_t i = 1; i < std::size(kHeads); ++i) p.Right(kHeads[i], kDayColumns[i]);
  p.Font(false);
  p.Next();
}

void DayTable(Pages& p, const Summary& s) {
  p.Title("Por dia");
  DayHeader(p);
  for (const auto& [day, figures] : s.days) {
    if (p.Room(1)) DayHeader(p);
    p.Left(day, kMargin);
    const std::vector<std::string> cells = FigureCells(figures);
    for (size_t i = 0; i < cells.size(); ++i) p.Right(cells[i], kDayColumns[i + 1]);
    p.Next();
  }
  p.Next(0.6);
}

void PaymentTable(Pages& p, const Summary& s) {
  p.Title("Por meio de pagamento");
  for (const auto& [code, figures] : s.payments) {
    p.Room(1);
    p.Left(code + " " + PaymentName(code), kMargin);
    p.Right(std::to_string(figures.sales), kDayColumns[5]);
    p.Right(Money(figures.cents), kDayColumns[8]);
    p.Next();
  }
}

}  // namespace

bool SummaryPdf(const Summary& s, std::string* pdf, std::string* error) {
  pdf->clear();
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_pdf_surface_create_for_stream(Append, pdf, kWidth, kHeight), cairo_surface_destroy);
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE,
                                 ("Resumo dos CF-e de " + MonthTitle(s.month)).c_str());
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
  Pages pages(cr.get());
  pages.Title("Resumo dos CF-e de " + MonthTitle(s.month) + " — " + CnpjText(s.cnpj));
  MonthFigures(pages, s);
  DayTable(pages, s);
  PaymentTable(pages, s);
  cairo_show_page(cr.get());
  const cairo_status_t status = cairo_status(cr.get());
  cr.reset();
  cairo_surface_finish(surface.get());
  if (status != CAIRO_STATUS_SUCCESS ||
      cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    *error = std::string("PDF do resumo: ") + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace kovrad::archive
