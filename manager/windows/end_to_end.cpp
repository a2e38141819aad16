#include "windows/end_to_end.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/shell.h"
#include "core/end_to_end.h"
#include "widgets/tile.h"

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
  EndToEnd test;
  if (fimafim->isChecked()) {
    test = EndToEnd::kSefaz;
  } else if (RadioButton2->isChecked()) {
    test = EndToEnd::kDevice;
  } else {
    return;
  }
  client::Library& library = shell_.library();
  shell_.Run<std::string>(
      this, QString(test == EndToEnd::kSefaz ? "Teste fim a fim" : "Consulta ao SAT"),
      [&library, test, code = shell_.session().code] { return RunEndToEnd(library, test, code); },
      [this](std::string message) { shell_.Show(this, message); });
}

}  // namespace kovrad::manager
