// Renders every window of the manager to PNG files for review: the start-up
// dialog, the dashboard filled from the device that the library finds, and
// the code-change windows. Usage: ativacao_screenshots DIR [CODE]
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>

#include "appbar.h"
#include "dialogs.h"
#include "forms.h"
#include "style.h"

namespace {

using namespace kovrad::manager;

const QSize kScreen(1024, 680);

// Nobody answers dialogs here: messages go to standard error.
class PrintingDialogs : public Dialogs {
 public:
  void Message(QWidget*, const QString& text) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
  }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
};

bool Save(QWidget* window, const QDir& dir, const QString& name) {
  const QString file = dir.filePath(name);
  if (!window->grab().save(file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

void ShowAt(QWidget* window) {
  window->resize(kScreen);
  window->show();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [CODE]\n", argv[0]);
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(".")) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  ApplyStyle(app);
  QApplication::setApplicationName("Torva Trelix Manager");

  Library library;
  PrintingDialogs dialogs;
  Shell shell(library, dialogs, [](int) {});
  Forms forms(shell);
  TGridForm& grid = *forms.grid;
  ShowAt(&grid);

  TOKRightDlg2* startup = forms.startup;
  startup->codATV->setText(QString::fromLocal8Bit(argc > 2 ? argv[2] : "12345678"));
  bool ok = Save(startup, dir, "1-inicio.png");
  startup->Button1->click();
  const QDeadlineTimer deadline(120000);
  while (shell.worker().busy() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  if (startup->isVisible()) {
    std::fprintf(stderr, "the device did not answer the status query with success\n");
    return 1;
  }
  ok = Save(&grid, dir, "2-painel.png") && ok;
  grid.appBar()->show();
  ok = Save(&grid, dir, "3-painel-barra.png") && ok;

  TForm18& bordered = *forms.code_change;
  for (QLineEdit* field : {bordered.Codigo, bordered.ncod, bordered.ncodconf}) {
    field->setText("12345678");
  }
  bordered.show();
  ok = Save(&bordered, dir, "4-trocar-codigo.png") && ok;

  TForm8& full_screen = *forms.code_change_full_screen;
  ShowAt(&full_screen);
  full_screen.appBar()->show();
  ok = Save(&full_screen, dir, "5-trocar-codigo-tela-cheia.png") && ok;
  return ok ? 0 : 1;
}
