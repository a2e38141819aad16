#include "windows/startup.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/shell.h"
#include "core/checks.h"
#include "windows/dashboard.h"

namespace kovrad::manager {

TOKRightDlg2::TOKRightDlg2(Shell& shell, TGridForm& grid)
    : QDialog(&grid),
      codATV(new QLineEdit(this)),
      RadioButton3(new QRadioButton("Trelix KIT", this)),
      RadioButton2(new QRadioButton("Trelix Produção (Ativado)", this)),
      RadioButton1(new QRadioButton("Trelix Produção (não ativado)", this)),
      Button1(new QPushButton("OK", this)),
      SpeedButton1(new QPushButton("Click Aqui", this)),
      shell_(shell),
      grid_(grid) {
  setObjectName("OKRightDlg2");
  setWindowTitle("Torva TRELIX Manager");
  codATV->setObjectName("codATV");
  RadioButton3->setObjectName("RadioButton3");
  RadioButton2->setObjectName("RadioButton2");
  RadioButton1->setObjectName("RadioButton1");
  Button1->setObjectName("Button1");
  SpeedButton1->setObjectName("SpeedButton1");

  RadioButton3->setChecked(true);
  Button1->setDefault(true);
  SpeedButton1->setFlat(true);
  SpeedButton1->setCursor(Qt::PointingHandCursor);
  SpeedButton1->setAutoDefault(false);

  auto* code_label = new QLabel("Código de Ativação", this);
  code_label->setBuddy(codATV);
  auto* forgot = new QLabel("Esqueceu o código de ativação ?", this);
  forgot->setStyleSheet("color: #ff4d4d;");

  auto* layout = new QVBoxLayout(this);
  for (QRadioButton* mode : {RadioButton3, RadioButton2, RadioButton1}) {
    layout->addWidget(mode, 0, Qt::AlignLeft);
  }
  layout->addSpacing(8);
  layout->addWidget(code_label);
  layout->addWidget(codATV);
  layout->addSpacing(8);
  auto* bottom = new QGridLayout;
  bottom->addWidget(forgot, 0, 0);
  bottom->addWidget(SpeedButton1, 1, 0, Qt::AlignLeft);
  bottom->addWidget(Button1, 1, 1, Qt::AlignRight);
  layout->addLayout(bottom);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  codATV->setMinimumWidth(260);

  connect(RadioButton1, &QRadioButton::clicked, this, [this] { codATV->setEnabled(false); });
  connect(RadioButton2, &QRadioButton::clicked, this, [this] { codATV->setEnabled(true); });
  connect(RadioButton3, &QRadioButton::clicked, this, [this] { codATV->setEnabled(true); });
  connect(RadioButton3, &QRadioButton::toggled, this,
          [this](bool kit) { shell_.session().kit_mode = kit; });
  connect(Button1, &QPushButton::clicked, this, &TOKRightDlg2::Button1Click);
  connect(SpeedButton1, &QPushButton::clicked, this,
          [this] { shell_.windows().Open(Window::kCodeChangeFullScreen); });
}

void TOKRightDlg2::Button1Click() {
  Session& session = shell_.session();
  if (RadioButton1->isChecked()) {
    session.code = kPresetCode;
    grid_.OfferNotActivated();
    close();
    shell_.windows().Open(Window::kMain);
    SetCodeFieldForMode();
    return;
  }
  grid_.WithdrawActivation();
  codATV->setEnabled(true);
  StagedField code;
  if (!code.Stage(codATV->text().toStdString())) {
    shell_.Show(this, StagingRefusal("Código de Ativação", code));
    return;
  }
  session.code = code.str();
  if (session.code.empty()) {
    shell_.Show(this, kMsgCodeEmpty);
    return;
  }
  grid_.StatusQuery(this, [this](bool ok) {
    if (ok) {
      close();
      grid_.OfferMaintenance();
      shell_.windows().Open(Window::kMain);
    }
    SetCodeFieldForMode();
  });
}

void TOKRightDlg2::SetCodeFieldForMode() {
  codATV->setEnabled(!RadioButton1->isChecked());
}

void TOKRightDlg2::done(int result) {
  QDialog::done(result);
  if (RadioButton2->isChecked() && shell_.session().code.empty()) {
    shell_.Show(this, kMsgCodeEmpty);
    shell_.EndProgram(1);
  }
}

}  // namespace kovrad::manager
