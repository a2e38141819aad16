// The extrato of the coupon the sale window received, shown as the buyer
// gets it beside the coupon's XML: zoomed, printed on a system printer, or
// saved as PDF.
#pragma once

#include <QImage>
#include <QWidget>
#include <string>

#include "core/extrato.h"

class QLabel;
class QPlainTextEdit;
class QPrinter;
class QPushButton;

namespace kovrad::manager {

class Shell;

class ExtratoView : public QWidget {
  Q_OBJECT

 public:
  // `coupon`: the signed coupon as the device returned it.
  ExtratoView(Shell& shell, const std::string& coupon, QWidget* parent);

  // False when the coupon could not be rendered; the operator has been told.
  bool loaded() const { return !image_.isNull(); }
  int zoomPercent() const { return zoom_; }
  void SetZoom(int percent);
  // The extrato across as many pages as it needs, 80 mm wide or the page's
  // width where that is less.
  void PrintTo(QPrinter* printer) const;

  QLabel* Imagem;
  QPlainTextEdit* XML;
  QPushButton* Diminuir;
  QPushButton* Ampliar;
  QPushButton* Imprimir;
  QPushButton* SalvarPdf;

 private:
  void Print();
  void SavePdf();

  Shell& shell_;
  CouponExtrato extrato_;
  QImage image_;  // rendered at kScale pixels per printer dot
  QLabel* zoom_label_;
  int zoom_ = 75;
};

}  // namespace kovrad::manager
