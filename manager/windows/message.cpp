#include "windows/message.h"

#include <QBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/shell.h"
#include "app/style.h"
#include "windows/device_log.h"

namespace kovrad::manager {

TForm13::TForm13(Shell& shell)
    : Memo1(new QPlainTextEdit(this)),
      Button1(new QPushButton("OK", this)),
      Button2(new QPushButton("Ver Detalhes", this)),
      shell_(shell) {
  setObjectName("Form13");
  setWindowFlag(Qt::Window);
  setWindowTitle("QUORVI Q-SAT");
  setFont(TextFont(11));
  setFixedWidth(486);

  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setFixedSize(409, 58);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2->setObjectName("Button2");
  // Laid out rather than placed, so that buttons of a finger's size fit.
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Memo1, 0, Qt::AlignLeft);
  layout->addLayout(buttons);

  connect(Button1, &QPushButton::clicked, this, &QWidget::close);
  connect(Button2, &QPushButton::clicked, this, &TForm13::Button2Click);
}

void TForm13::ShowMessage(const QString& text) {
  Memo1->setPlainText(text);
  show();
  raise();
  activateWindow();
}

void TForm13::Button2Click() {
  WindowRegistry& windows = shell_.windows();
  windows.Open(Window::kLog);
  if (auto* log = qobject_cast<TForm14*>(windows.Find(Window::kLog))) log->Extract();
}

}  // namespace kovrad::manager
