// Ativacao: sets up and tests the SAT device.
#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <exception>

#include "binding.h"
#include "changecod.h"
#include "dialogs.h"
#include "groupeditems.h"
#include "shell.h"
#include "startup.h"
#include "style.h"
#include "trocarcodatv.h"

namespace {

void ShowError(const char* what) {
  QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromLocal8Bit(what));
}

// An exception that escapes an event handler is shown and the program goes on.
class ManagerApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      ShowError(e.what());
    } catch (...) {
      ShowError("Erro inesperado.");
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  ManagerApplication app(argc, argv);
  using namespace kovrad::manager;
  try {
    ApplyStyle(app);
    QApplication::setApplicationName("Torva Trelix Manager");

    Library library;
    QtDialogs dialogs;
    Shell shell(library, dialogs, [](int status) { QCoreApplication::exit(status); });
    WindowRegistry& windows = shell.windows();

    // Created hidden, in this order; the start-up dialog shows itself at once
    // so that it is the first thing the operator sees.
    TGridForm grid(shell);
    windows.Register(Window::kMain, &grid);
    auto* startup = new TOKRightDlg2(shell, grid);
    windows.Register(Window::kStartUp, startup);
    startup->show();
    TForm8 change_full_screen(shell);
    windows.Register(Window::kCodeChangeFullScreen, &change_full_screen);
    TForm18 change(shell);
    windows.Register(Window::kCodeChange, &change);

    grid.showMaximized();
    startup->raise();
    const int status = app.exec();
    // A library call may wait minutes for the device; do not hold the exit
    // for it.
    if (shell.worker().busy()) std::_Exit(status);
    return status;
  } catch (const std::exception& e) {
    ShowError(e.what());
    return EXIT_FAILURE;
  }
}
