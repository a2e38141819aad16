#include "testesat.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include "icons.h"
#include "shell.h"
#include "testsale.h"
#include "tile.h"

namespace kovrad::manager {

TForm7::TForm7(Shell& shell) : shell_(shell) {
  setObjectName("Form7");
  setWindowFlag(Qt::Window);
  setWindowTitle("Testes SAT");

  auto* kind = new QGroupBox(" Tipo Teste", this);
  fimafim = new QRadioButton("PDV<->SEFAZ", kind);
  fimafim->setObjectName("fimafim");
  RadioButton2 = new QRadioButton("PDV<->SAT", kind);
  RadioButton2->setObjectName("RadioButton2");
  auto* choice = new QVBoxLayout(kind);
  choice->addWidget(fimafim);
  choice->addWidget(RadioButton2);

  Image1 = new ImageButton(DrawIcon(Icon::kTest, 64), this);
  Image1->setObjectName("Image1");
  Image1->setToolTip("Executar o teste");

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(kind);
  layout->addWidget(Image1, 0, Qt::AlignCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Image1, &ImageButton::clicked, this, &TForm7::Image1Click);
}

void TForm7::Image1Click() {
  Library& library = shell_.library();
  std::function<Reply()> call;
  if (fimafim->isChecked()) {
    call = [&library, code = shell_.session().code] {
      return KOVRAD_SAT(library, TesteFimAFim, kSessionNumber, code.c_str(), kTestSale);
    };
  } else if (RadioButton2->isChecked()) {
    call = [&library] { return KOVRAD_SAT(library, ConsultarSAT, kSessionNumber); };
  } else {
    return;
  }
  shell_.Run<std::string>(
      this, [&library, call] { return ReportAfterCall(library, call()); },
      [this](std::string message) { shell_.Show(this, message); });
}

}  // namespace kovrad::manager
