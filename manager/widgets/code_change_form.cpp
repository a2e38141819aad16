#include "widgets/code_change_form.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <tuple>
#include <vector>

#include "app/icons.h"
#include "app/shell.h"
#include "core/checks.h"
#include "core/code_change.h"
#include "core/reported_result.h"
#include "client/text.h"
#include "widgets/fields.h"
#include "widgets/tile.h"

namespace kovrad::manager {
CodeChangeForm::CodeChangeForm(Shell& shell, bool checked)
    : shell_(shell), checked_(checked), form_(new QWidget(this)) {
  auto* choice = new QGroupBox(" Usar  ", form_);
  RadioButton1 = new QRadioButton("Código de ativação", choice);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton("Código de emergência", choice);
  RadioButton2->setObjectName("RadioButton2");
  auto* choice_layout = new QHBoxLayout(choice);
  choice_layout->addWidget(RadioButton1);
  choice_layout->addWidget(RadioButton2);

  Codigo = CodeField("Codigo", form_);
  ncod = CodeField("ncod", form_);
  ncodconf = CodeField("ncodconf", form_);
  Image2 = new ImageButton(DrawIcon(Icon::kSend, 48), form_);
  Image2->setObjectName("Image2");
  Image2->setToolTip("Enviar");

  auto* fields = new QFormLayout;
  fields->addRow("Código", Codigo);
  fields->addRow("Novo código", ncod);
  fields->addRow("Confirma novo código", ncodconf);
  auto* layout = new QVBoxLayout(form_);
  layout->addWidget(choice);
  layout->addLayout(fields);
  layout->addWidget(Image2, 0, Qt::AlignRight);

  connect(Image2, &ImageButton::clicked, this, &CodeChangeForm::Image2Click);
}

void CodeChangeForm::Image2Click() {
  StagedField code;
  StagedField new_code;
  StagedField confirmation;
  const std::vector<std::tuple<StagedField*, QLineEdit*, const char*>> staging = {
      {&code, Codigo, "Código"},
      {&new_code, ncod, "Novo código"},
      {&confirmation, ncodconf, "Confirma novo código"}};
  for (const auto& [staged, field, caption] : staging) {
    if (!staged->Stage(field->text().toStdString())) {
      shell_.Show(this, StagingRefusal(caption, *staged));
      return;
    }
  }
  if (checked_) {
    if (auto refusal = CheckNewCode(new_code.c_str(), confirmation.c_str())) {
      shell_.Show(this, *refusal);
      return;
    }
  }
  const CodeChange change{code.str(), RadioButton1->isChecked() ? 1 : 2, new_code.str(),
                          confirmation.str()};
  client::Library& library = shell_.library();
  shell_.Run<std::vector<std::string>>(
      this, "Troca do código de ativação",
      [&library, change] { return ChangeCode(library, change); },
      [this, new_code = new_code.str()](std::vector<std::string> messages) {
        if (!messages.empty() && ReportSays(messages.back(), kCodeChanged)) AdoptCode(new_code);
        shell_.Show(this, messages);
      });
}

void CodeChangeForm::AdoptCode(const std::string& code) {
  shell_.session().code = code;
  // The start-up dialog presents its field's text when accepted again.
  if (QWidget* startup = shell_.windows().Find(Window::kStartUp)) {
    if (auto* field = startup->findChild<QLineEdit*>("codATV")) {
      field->setText(QString::fromStdString(client::FromCp1252(code)));
    }
  }
}

}  // namespace kovrad::manager
