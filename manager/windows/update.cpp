#include "windows/update.h"

#include <QHBoxLayout>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>

#include "app/icons.h"
#include "app/shell.h"
#include "core/update.h"
#include "widgets/tile.h"

namespace kovrad::manager {

TForm6::TForm6(Shell& shell) : shell_(shell) {
  setObjectName("Form6");
  setWindowFlag(Qt::Window);
  setWindowTitle("Atualiza Software SAT");

  Image2 = new ImageButton(DrawIcon(Icon::kUpdate, 64), this);
  Image2->setObjectName("Image2");
  Image2->setToolTip("Atualizar o software do SAT");
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setMinimumWidth(320);
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(1000);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(Image2);
  layout->addWidget(ProgressBar1, 1);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Image2, &ImageButton::clicked, this, &TForm6::Image2Click);
  connect(Timer1, &QTimer::timeout, this, &TForm6::Timer1Timer);
}

void TForm6::ResetProgress() {
  ProgressBar1->setValue(0);
}

void TForm6::Timer1Timer() {
  ProgressBar1->setValue(std::min(ProgressBar1->value() + 1, ProgressBar1->maximum()));
}

void TForm6::Image2Click() {
  Library& library = shell_.library();
  const std::string code = shell_.session().code;
  const bool started = shell_.Run<std::string>(
      this, [&library, code] { return UpdateSoftware(library, code); },
      [this](std::string message) {
        shell_.Show(this, message);
        Timer1->stop();
        ProgressBar1->setValue(ProgressBar1->maximum());
      });
  // The call runs off this thread, so the bar moves while the device works.
  if (!started) return;
  Timer1->start();
  ProgressBar1->setValue(0);
}

}  // namespace kovrad::manager
