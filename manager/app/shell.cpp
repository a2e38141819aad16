#include "app/shell.h"

namespace kovrad::manager {

Shell::Shell(Library& library, Dialogs& dialogs, std::function<void(int)> end_program)
    : library_(library), dialogs_(dialogs), end_program_(std::move(end_program)) {}

void Shell::Show(QWidget* parent, const std::vector<std::string>& messages) {
  for (const std::string& m : messages) Show(parent, m);
}

void Shell::Show(QWidget* parent, const std::string& message) {
  dialogs_.Message(parent, QString::fromStdString(message));
}

}  // namespace kovrad::manager
