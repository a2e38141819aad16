#include "windows/lock.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/shell.h"
#include "core/lock.h"
#include "core/reported_result.h"
#include "widgets/tile.h"
#include "windows/dashboard.h"

namespace kovrad::manager {
namespace {

// The notice's second and third lines stand indented under the first.
constexpr int kIndent = 28;

QLabel* NoticeLine(const char* name, const char* text, int indent, QWidget* parent) {
  auto* line = new QLabel(text, parent);
  line->setObjectName(name);
  line->setIndent(indent);
  return line;
}

}  // namespace

TForm12::TForm12(Shell& shell) : shell_(shell) {
  setObjectName("Form12");
  setWindowFlag(Qt::Window);
  setWindowTitle("Bloqueio/Desbloqueio Q-SAT");

  auto* choice = new QWidget(this);
  RadioButton1 = new QRadioButton("Bloquear", choice);
  RadioButton1->setObjectName("RadioButton1");
  RadioButton1->setChecked(true);
  RadioButton2 = new QRadioButton("Desbloquear", choice);
  RadioButton2->setObjectName("RadioButton2");
  auto* buttons = new QVBoxLayout(choice);
  buttons->addWidget(RadioButton1);
  buttons->addWidget(RadioButton2);

  Image2 = new ImageButton(DrawIcon(Icon::kSend, 64), this);
  Image2->setObjectName("Image2");
  Image2->setToolTip("Executar");

  Label1 = NoticeLine(
      "Label1", "Obs: Está função não deve ser enviada para tentatitva de desbloqueio autônomo do ",
      0, this);
  Label2 = NoticeLine("Label2",
                      "SAT. O bloqueio autônomo só é recuperado quando a causa raiz do problema é",
                      kIndent, this);
  Label3 =
      NoticeLine("Label3", "solucionada, por exemplo, comunicação com a SEFAZ OK.", kIndent, this);

  auto* controls = new QHBoxLayout;
  controls->addWidget(choice);
  controls->addStretch();
  controls->addWidget(Image2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  for (QLabel* line : {Label1, Label2, Label3}) layout->addWidget(line);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Image2, &ImageButton::clicked, this, &TForm12::Image2Click);
}

void TForm12::Image2Click() {
  client::Library& library = shell_.library();
  const std::string code = shell_.session().code;
  const LockAction action = RadioButton1->isChecked() ? LockAction::kLock : LockAction::kUnlock;
  // A locked device issues no coupon until it is unlocked.
  if (action == LockAction::kLock && !shell_.busy() &&
      !shell_.dialogs().Ask(this, kAskLock, "Bloquear", "Cancelar")) {
    return;
  }
  shell_.Run<std::string>(
      this, QString(action == LockAction::kLock ? "Bloqueio" : "Desbloqueio"),
      [&library, code, action] { return ChangeLock(library, code, action); },
      [this, action](std::string message) {
        shell_.Show(this, message);
        activateWindow();
        setFocus();
        if (ReportSays(message, action == LockAction::kLock ? "16000" : "17000")) RefreshStatus();
      });
}

void TForm12::RefreshStatus() {
  // The status panel would otherwise show the state from before.
  if (auto* grid = qobject_cast<TGridForm*>(shell_.windows().Find(Window::kMain))) {
    grid->StatusQuery(this, {});
  }
}

}  // namespace kovrad::manager
