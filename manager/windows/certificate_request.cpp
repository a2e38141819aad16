#include "windows/certificate_request.h"

#include <QLabel>
#include <QPlainTextEdit>

#include "app/style.h"

namespace kovrad::manager {

TForm11::TForm11()
    : Label1(new QLabel(
          "Copie o CSR abaixo para solicitar obter o CRT. Uma cópia será salva em arquivo.", this)),
      Memo1(new QPlainTextEdit(this)) {
  setObjectName("Form11");
  setWindowFlag(Qt::Window);
  setWindowTitle("CSR");
  setFont(TextFont(11));
  setFixedSize(729, 382);

  Label1->setObjectName("Label1");
  Label1->move(48, 24);
  Label1->adjustSize();
  Memo1->setObjectName("Memo1");
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setGeometry(48, 56, 625, 297);
}

void TForm11::AddRequest(const QString& request) {
  Memo1->appendPlainText(request);
  show();
  raise();
  activateWindow();
}

}  // namespace kovrad::manager
