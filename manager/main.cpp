// Ativacao: sets up and tests the SAT device.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <cstdlib>
#include <exception>

#include "app/dialogs.h"
#include "app/registry.h"
#include "app/shell.h"
#include "app/style.h"
#include "client/binding.h"
#include "forms.h"

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
    // The toolkit's own texts (file dialogs, their buttons) in Portuguese too.
    QTranslator toolkit;
    if (toolkit.load(QLocale(QLocale::Portuguese, QLocale::Brazil), "qtbase", "_",
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      QCoreApplication::installTranslator(&toolkit);
    }
    QApplication::setApplicationName("Torva Trelix Manager");

    kovrad::client::Library library;
    QtDialogs dialogs;
    Shell shell(library, dialogs, [](int status) { QCoreApplication::exit(status); });
    Forms forms(shell);
    forms.grid->setWindowState(Qt::WindowFullScreen);
    Present(forms.grid.get(), false);
    // The dialog appeared before the main window had its size: centre it now.
    forms.startup->move(forms.grid->geometry().center() - forms.startup->rect().center());
    Present(forms.startup);
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
