#include "windows/code_change.h"

#include <QVBoxLayout>

namespace kovrad::manager {

TForm18::TForm18(Shell& shell) : CodeChangeForm(shell, true) {
  setObjectName("Form18");
  setWindowFlag(Qt::Window);
  setWindowTitle("Trocar Código Ativação");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(form());
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace kovrad::manager
