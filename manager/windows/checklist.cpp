#include "windows/checklist.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell.h"

namespace kovrad::manager {

TOKRightDlg::TOKRightDlg(Shell& shell)
    : OKBtn(new QPushButton("OK", this)), CancelBtn(new QPushButton("Cancel", this)) {
  setObjectName("OKRightDlg");
  setWindowTitle("Torva Trelix Manager");
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  CancelBtn->setObjectName("CancelBtn");

  auto* bevel = new QFrame(this);
  bevel->setObjectName("Bevel1");
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  auto* lines = new QVBoxLayout(bevel);
  for (const char* text : {
           "Antes do processo de ativação, certifique-se que:",
           "   1) O Trelix SAT está conectado a rede local através da porta WAN",
           "2) O LED ETH no painel frontal está aceso",
           "3) As portas TCP 443 e UDP 123 estão liberadas no firewal ",
           "4) O SAT está vinculado na SEFAZ ao CNPJ do contribuinte",
           "Em caso de dúvida, consulte a seção 4 no manual de instalação do SAT",
       }) {
    auto* line = new QLabel(text, bevel);
    line->setTextFormat(Qt::PlainText);
    lines->addWidget(line);
  }

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  buttons->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(bevel);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(OKBtn, &QPushButton::clicked, this, [this, &shell] {
    shell.windows().Open(Window::kActivation);
    close();
  });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::close);
}

}  // namespace kovrad::manager
