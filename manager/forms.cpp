#include "forms.h"

namespace kovrad::manager {

Forms::Forms(Shell& shell) {
  WindowRegistry& windows = shell.windows();
  grid = std::make_unique<TGridForm>(shell);
  windows.Register(Window::kMain, grid.get());
  startup = new TOKRightDlg2(shell, *grid);
  windows.Register(Window::kStartUp, startup);
  startup->show();
  code_change_full_screen = std::make_unique<TForm8>(shell);
  windows.Register(Window::kCodeChangeFullScreen, code_change_full_screen.get());
  code_change = std::make_unique<TForm18>(shell);
  windows.Register(Window::kCodeChange, code_change.get());
}

}  // namespace kovrad::manager
