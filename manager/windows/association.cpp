#include "windows/association.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <variant>

#include "app/icons.h"
#include "app/shell.h"
#include "core/association.h"
#include "widgets/fields.h"
#include "widgets/tile.h"

namespace kovrad::manager {

TForm17::TForm17(Shell& shell)
    : CNPJContribuinte(CnpjField("CNPJContribuinte", this)),
      CNPJSW(CnpjField("CNPJSW", this)),
      assinatura(new QLineEdit(this)),
      Image2(new ImageButton(DrawIcon(Icon::kSend, 48), this)),
      shell_(shell) {
  setObjectName("Form17");
  setWindowFlag(Qt::Window);
  setWindowTitle("Associar Assinatura");
  assinatura->setObjectName("assinatura");
  assinatura->setMinimumWidth(460);
  Image2->setObjectName("Image2");
  Image2->setToolTip("Enviar");

  auto* form = new QFormLayout;
  AddRow(form, "CNPJ Contribuinte", CNPJContribuinte);
  AddRow(form, "CNPJ Software House", CNPJSW);
  AddRow(form, "Assinatura AC", assinatura);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(Image2, 0, Qt::AlignRight);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Image2, &ImageButton::clicked, this, &TForm17::Image2Click);
}

void TForm17::Image2Click() {
  const std::variant<Association, std::string> prepared =
      PrepareAssociation({CNPJContribuinte->text().toStdString(), CNPJSW->text().toStdString(),
                          assinatura->text().toStdString()});
  if (const auto* refusal = std::get_if<std::string>(&prepared)) {
    shell_.Show(this, *refusal);
    return;
  }
  const Association association = std::get<Association>(prepared);
  client::Library& library = shell_.library();
  const std::string code = shell_.session().code;
  shell_.Run<std::string>(
      this, "Associação da assinatura",
      [&library, code, association] { return Associate(library, code, association); },
      [this](std::string message) { shell_.Show(this, message); });
}

}  // namespace kovrad::manager
