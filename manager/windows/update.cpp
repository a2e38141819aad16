#include "windows/update.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/shell.h"
#include "core/reported_result.h"
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
  Andamento = new QLabel(this);
  Andamento->setObjectName("Andamento");
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(1000);

  auto* progress = new QVBoxLayout;
  progress->addWidget(ProgressBar1);
  progress->addWidget(Andamento);
  auto* row = new QHBoxLayout;
  row->addWidget(Image2);
  row->addLayout(progress, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Image2, &ImageButton::clicked, this, &TForm6::Image2Click);
  connect(Timer1, &QTimer::timeout, this, &TForm6::Timer1Timer);
}

void TForm6::ResetProgress() {
  if (Timer1->isActive()) return;
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  Andamento->clear();
}

void TForm6::Timer1Timer() {
  const qint64 seconds = elapsed_.elapsed() / 1000;
  Andamento->setText(QString("Atualizando... não desligue o SAT (%1:%2)")
                         .arg(seconds / 60)
                         .arg(seconds % 60, 2, 10, QChar('0')));
}

void TForm6::Image2Click() {
  client::Library& library = shell_.library();
  const std::string code = shell_.session().code;
  const bool started = shell_.Run<std::string>(
      this, "Atualização do software", [&library, code] { return UpdateSoftware(library, code); },
      [this](std::string message) { Finish(message); });
  if (!started) return;
  // No measure of the device's progress exists: the bar only shows that it
  // is working, never a share of the work.
  ProgressBar1->setRange(0, 0);
  elapsed_.start();
  Timer1Timer();
  Timer1->start();
}

void TForm6::Finish(const std::string& message) {
  Timer1->stop();
  ProgressBar1->setRange(0, 100);
  const bool updated = ReportSays(message, "14000");
  ProgressBar1->setValue(updated ? 100 : 0);
  Andamento->setText(updated ? "Software do SAT atualizado."
                             : "A atualização não foi feita: veja a mensagem do SAT.");
  shell_.Show(this, message);
}

}  // namespace kovrad::manager
