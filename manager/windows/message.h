// The message window: a device's answer, with its log one click away.
#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace kovrad::manager {

class Shell;

class TForm13 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm13(Shell& shell);

  QPlainTextEdit* Memo1;
  QPushButton* Button1;  // "OK"
  QPushButton* Button2;  // "Ver Detalhes"

  // Replaces the message shown and brings the window to the front.
  void ShowMessage(const QString& text);

 private:
  void Button2Click();

  Shell& shell_;
};

}  // namespace kovrad::manager
