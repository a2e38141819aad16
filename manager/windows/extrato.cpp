#include "windows/extrato.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

#include "app/shell.h"
#include "client/text.h"

namespace kovrad::manager {
namespace {

// Two pixels per printer dot: sharp up to 200 %.
constexpr double kScale = 2;
constexpr int kMinZoom = 25, kMaxZoom = 200, kZoomStep = 25;
constexpr double kPaperMillimetres = 80;

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

ExtratoView::ExtratoView(Shell& shell, const std::string& coupon, QWidget* parent)
    : QWidget(parent), shell_(shell) {
  setObjectName("Extrato");
  setWindowFlag(Qt::Window);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Extrato do CF-e-SAT");
  resize(1000, 720);

  Diminuir = Button("Diminuir", "Diminuir", this);
  Diminuir->setShortcut(QKeySequence::ZoomOut);
  Ampliar = Button("Ampliar", "Ampliar", this);
  Ampliar->setShortcut(QKeySequence::ZoomIn);
  zoom_label_ = new QLabel(this);
  Imprimir = Button("Imprimir...", "Imprimir", this);
  SalvarPdf = Button("Salvar PDF...", "SalvarPdf", this);
  auto* tools = new QHBoxLayout;
  for (QWidget* w : {static_cast<QWidget*>(Diminuir), static_cast<QWidget*>(zoom_label_),
                     static_cast<QWidget*>(Ampliar)}) {
    tools->addWidget(w);
  }
  tools->addStretch();
  tools->addWidget(Imprimir);
  tools->addWidget(SalvarPdf);

  Imagem = new QLabel(this);
  Imagem->setObjectName("Imagem");
  Imagem->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  auto* scroll = new QScrollArea(this);
  scroll->setWidget(Imagem);
  scroll->setWidgetResizable(true);
  scroll->setBackgroundRole(QPalette::Dark);
  XML = new QPlainTextEdit(QString::fromStdString(client::DecodeReply(coupon)), this);
  XML->setObjectName("XML");
  XML->setReadOnly(true);
  auto* sides = new QSplitter(this);
  sides->addWidget(scroll);
  sides->addWidget(XML);
  // The extrato at 75 % fits beside the XML on the window's first size.
  scroll->setMinimumWidth(240);
  sides->setSizes({520, 480});

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(tools);
  layout->addWidget(sides, 1);

  connect(Diminuir, &QPushButton::clicked, this, [this] { SetZoom(zoom_ - kZoomStep); });
  connect(Ampliar, &QPushButton::clicked, this, [this] { SetZoom(zoom_ + kZoomStep); });
  connect(Imprimir, &QPushButton::clicked, this, &ExtratoView::Print);
  connect(SalvarPdf, &QPushButton::clicked, this, &ExtratoView::SavePdf);

  std::string png, problem;
  if (extrato_.Load(coupon, &problem) && extrato_.Image(kScale, &png, &problem)) {
    image_.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()),
                        "PNG");
  }
  for (QPushButton* b : {Diminuir, Ampliar, Imprimir, SalvarPdf}) b->setEnabled(loaded());
  if (!loaded()) {
    Imagem->setText("Extrato indisponível");
    shell_.Show(this, "Não foi possível montar o extrato: " + problem);
    return;
  }
  SetZoom(zoom_);
}

void ExtratoView::SetZoom(int percent) {
  zoom_ = std::clamp(percent, kMinZoom, kMaxZoom);
  zoom_label_->setText(QString("%1 %").arg(zoom_));
  Diminuir->setEnabled(loaded() && zoom_ > kMinZoom);
  Ampliar->setEnabled(loaded() && zoom_ < kMaxZoom);
  if (!loaded()) return;
  // 100 %: one screen pixel per printer dot.
  const int width = static_cast<int>(image_.width() / kScale * zoom_ / 100);
  Imagem->setPixmap(QPixmap::fromImage(image_.scaledToWidth(width, Qt::SmoothTransformation)));
}

void ExtratoView::PrintTo(QPrinter* printer) const {
  QPainter painter(printer);
  const QRect page = painter.viewport();
  const int paper = static_cast<int>(kPaperMillimetres / 25.4 * printer->resolution());
  const double factor = static_cast<double>(std::min(page.width(), paper)) / image_.width();
  // Each page takes the rows of the image that fit its height.
  const int rows_per_page = std::max(1, static_cast<int>(page.height() / factor));
  for (int top = 0; top < image_.height(); top += rows_per_page) {
    if (top > 0) printer->newPage();
    const QImage slice =
        image_.copy(0, top, image_.width(), std::min(rows_per_page, image_.height() - top));
    painter.drawImage(QRectF(0, 0, slice.width() * factor, slice.height() * factor), slice);
  }
}

void ExtratoView::Print() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle("Imprimir extrato");
  if (dialog.exec() == QDialog::Accepted) PrintTo(&printer);
}

void ExtratoView::SavePdf() {
  const QString file = shell_.dialogs().SaveFileName(this, "Salvar extrato em PDF", "PDF (*.pdf)");
  if (file.isEmpty()) return;
  std::string problem;
  if (!extrato_.SavePdf(file.toStdString(), &problem)) {
    shell_.Show(this, "Não foi possível salvar o extrato: " + problem);
  }
}

}  // namespace kovrad::manager
