#include "windows/device_log.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/shell.h"
#include "app/style.h"
#include "core/device_log.h"
#include "widgets/fields.h"
#include "widgets/tile.h"

namespace kovrad::manager {
namespace {

constexpr int kImageSize = 64;
constexpr int kGap = 12;

// The picture with its caption beside it: the window's two images do
// different things and must not be told apart by their shape alone.
QPixmap Banner(Icon icon, const QString& caption) {
  const QFont font = TextFont(18);
  QPixmap banner(kImageSize + kGap + QFontMetrics(font).horizontalAdvance(caption), kImageSize);
  banner.fill(Qt::transparent);
  QPainter p(&banner);
  p.drawPixmap(0, 0, DrawIcon(icon, kImageSize));
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(banner.rect().adjusted(kImageSize + kGap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
             caption);
  return banner;
}

}  // namespace

TForm14::TForm14(Shell& shell)
    : Image1(new ImageButton(Banner(Icon::kLogs, "Extrair log do SAT"), this)),
      Image2(new ImageButton(Banner(Icon::kSave, "Salvar log em arquivo"), this)),
      Memo1(new QPlainTextEdit(this)),
      shell_(shell) {
  setObjectName("Form14");
  setWindowFlag(Qt::Window);
  setWindowTitle("Logs");
  resize(760, 560);

  Image1->setObjectName("Image1");
  Image1->setToolTip("Extrair o log do SAT");
  Image2->setObjectName("Image2");
  Image2->setToolTip("Salvar o log em arquivo");
  Memo1->setObjectName("Memo1");
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Image1);
  layout->addWidget(Image2);
  layout->addWidget(Memo1, 1);

  connect(Image1, &ImageButton::clicked, this, &TForm14::Extract);
  connect(Image2, &ImageButton::clicked, this, &TForm14::Image2Click);
}

void TForm14::Extract() {
  client::Library& library = shell_.library();
  const std::string code = shell_.session().CodeOrPreset();
  shell_.Run<LogExtraction>(
      this, "Extração dos logs", [&library, code] { return ExtractLog(library, code); },
      [this](LogExtraction extraction) {
        if (extraction.message) {
          shell_.Show(this, *extraction.message);
          return;
        }
        if (extraction.lines.empty()) return;
        QStringList lines;
        for (const std::string& line : extraction.lines) lines << QString::fromStdString(line);
        Memo1->appendPlainText(lines.join('\n'));
      });
}

void TForm14::Image2Click() {
  if (Memo1->toPlainText().isEmpty()) {
    shell_.Show(this, kMsgNoLogToSave);
    return;
  }
  const QString file =
      shell_.dialogs().SaveFileName(this, "Salvar log", "Texto (*.txt);;Todos os arquivos (*)");
  if (!file.isEmpty()) SaveToFile(shell_, this, file, MemoLines(*Memo1, "\r\n"));
}

}  // namespace kovrad::manager
