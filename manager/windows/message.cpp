#include "windows/message.h"

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
  setFixedSize(486, 131);

  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setGeometry(8, 16, 409, 58);
  Button1->setObjectName("Button1");
  Button1->setGeometry(135, 80, 75, 25);
  Button1->setDefault(true);
  Button2->setObjectName("Button2");
  Button2->setGeometry(232, 80, 75, 25);

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
