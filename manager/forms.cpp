#include "forms.h"

#include <QPlainTextEdit>

namespace kovrad::manager {

Forms::Forms(Shell& shell) {
  WindowRegistry& windows = shell.windows();
  grid = std::make_unique<TGridForm>(shell);
  windows.Register(Window::kMain, grid.get());
  update = std::make_unique<TForm6>(shell);
  windows.Register(Window::kUpdate, update.get(), [form = update.get()] { form->ResetProgress(); });
  test = std::make_unique<TForm7>(shell);
  windows.Register(Window::kTest, test.get());
  startup = new TOKRightDlg2(shell, *grid);
  windows.Register(Window::kStartUp, startup);
  startup->show();
  activation_checklist = std::make_unique<TOKRightDlg>(shell);
  windows.Register(Window::kActivationChecklist, activation_checklist.get());
  code_change_full_screen = std::make_unique<TForm8>(shell);
  windows.Register(Window::kCodeChangeFullScreen, code_change_full_screen.get());
  certificate_request = std::make_unique<TForm11>();
  windows.Register(Window::kCertificateRequest, certificate_request.get());
  lock = std::make_unique<TForm12>(shell);
  windows.Register(Window::kLock, lock.get());
  message = std::make_unique<TForm13>(shell);
  windows.Register(Window::kMessage, message.get());
  log = std::make_unique<TForm14>(shell);
  windows.Register(Window::kLog, log.get(), [form = log.get()] { form->Memo1->clear(); });
  sale = std::make_unique<TFiscal>(shell);
  windows.Register(Window::kSale, sale.get(), [form = sale.get()] { form->ClearTexts(); });
  network = std::make_unique<TForm15>(shell);
  windows.Register(Window::kNetwork, network.get());
  activation = std::make_unique<TForm16>(shell);
  windows.Register(Window::kActivation, activation.get());
  signature = std::make_unique<TForm17>(shell);
  windows.Register(Window::kSignature, signature.get());
  code_change = std::make_unique<TForm18>(shell);
  windows.Register(Window::kCodeChange, code_change.get());
}

}  // namespace kovrad::manager
