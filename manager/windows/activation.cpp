#include "windows/activation.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <variant>

#include "app/icons.h"
#include "app/shell.h"
#include "core/activation.h"
#include "widgets/fields.h"
#include "widgets/tile.h"
#include "windows/certificate_request.h"
#include "windows/message.h"

namespace kovrad::manager {
namespace {

constexpr const char* kStates[] = {"AC", "AL", "AP", "AM", "BA", "CE", "DF", "ES", "GO",
                                   "MA", "MT", "MS", "MG", "PA", "PB", "PR", "PE", "PI",
                                   "RJ", "RN", "RS", "RO", "RR", "SC", "SP", "SE", "TO"};

QRadioButton* KindButton(const char* name, const QString& caption, QWidget* parent) {
  auto* button = new QRadioButton(caption, parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

TForm16::TForm16(Shell& shell)
    : CNPJContribuinte(CnpjField("CNPJContribuinte", this)),
      CodAtv(CodeField("CodAtv", this)),
      CodAtv2(CodeField("CodAtv2", this)),
      ComboBox1(new QComboBox(this)),
      Image2(new ImageButton(DrawIcon(Icon::kActivate, 48), this)),
      shell_(shell) {
  setObjectName("Form16");
  setWindowFlag(Qt::Window);
  setWindowTitle("Ativar SAT");

  auto* certificate = new QGroupBox("Certificado SAT", this);
  RadioButton1 = KindButton("RadioButton1", "AC-SAT", certificate);
  RadioButton1->setChecked(true);
  RadioButton2 = KindButton("RadioButton2", "ICP-Brasil", certificate);
  RadioButton2->setEnabled(false);
  RadioButton3 = KindButton("RadioButton3", "Renovação Certificado ICP-Brasil", certificate);
  RadioButton3->setEnabled(false);
  auto* kinds = new QVBoxLayout(certificate);
  for (QRadioButton* kind : {RadioButton1, RadioButton2, RadioButton3}) kinds->addWidget(kind);

  ComboBox1->setObjectName("ComboBox1");
  for (const char* state : kStates) ComboBox1->addItem(state);
  ComboBox1->setCurrentText("SP");
  Image2->setObjectName("Image2");
  Image2->setToolTip("Ativar");

  auto* form = new QFormLayout;
  AddRow(form, "CNPJ Contribuinte", CNPJContribuinte);
  AddRow(form, "Código de Ativação", CodAtv);
  AddRow(form, "Confirma Código de Ativação", CodAtv2);
  AddRow(form, "Unidade da Federação", ComboBox1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(certificate);
  layout->addWidget(Image2, 0, Qt::AlignRight);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Image2, &ImageButton::clicked, this, &TForm16::Image2Click);
}

void TForm16::Image2Click() {
  ActivationInput input;
  input.cnpj = CNPJContribuinte->text().toStdString();
  input.code = CodAtv->text().toStdString();
  input.confirmation = CodAtv2->text().toStdString();
  input.kind = RadioButton1->isChecked()   ? kCertificateAcSat
               : RadioButton2->isChecked() ? kCertificateIcpBrasil
                                           : kCertificateRenewal;
  const std::variant<Activation, std::string> prepared = PrepareActivation(input);
  if (const auto* refusal = std::get_if<std::string>(&prepared)) {
    shell_.Show(this, *refusal);
    return;
  }
  const Activation activation = std::get<Activation>(prepared);
  client::Library& library = shell_.library();
  shell_.Run<ActivationOutcome>(
      this, "Ativação", [&library, activation] { return Activate(library, activation); },
      [this, code = activation.code](ActivationOutcome outcome) {
        if (outcome.succeeded) shell_.session().code = code;
        Report(outcome);
      });
}

void TForm16::Report(const ActivationOutcome& outcome) {
  WindowRegistry& windows = shell_.windows();
  auto* message = qobject_cast<TForm13*>(windows.Find(Window::kMessage));
  if (outcome.in_message_window && message != nullptr) {
    message->ShowMessage(QString::fromStdString(outcome.message));
  } else {
    shell_.Show(this, outcome.message);
  }
  auto* requests = qobject_cast<TForm11*>(windows.Find(Window::kCertificateRequest));
  if (outcome.request.empty() || requests == nullptr) return;
  requests->AddRequest(QString::fromStdString(outcome.request));
  const QString file = shell_.dialogs().SaveFileName(requests, "Salvar CSR", QString());
  if (!file.isEmpty()) SaveToFile(shell_, requests, file, MemoLines(*requests->Memo1, "\n"));
}

}  // namespace kovrad::manager
