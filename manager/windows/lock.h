// The lock and unlock window: asks the device to lock itself or to lift a
// lock that the taxpayer imposed.
#pragma once

#include <QWidget>

class QLabel;
class QRadioButton;

namespace kovrad::manager {

class ImageButton;
class Shell;

inline constexpr char kAskLock[] =
    "Bloquear o SAT? Bloqueado, ele não emite cupons até ser desbloqueado.";

class TForm12 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm12(Shell& shell);

  QRadioButton* RadioButton1;  // "Bloquear"
  QRadioButton* RadioButton2;  // "Desbloquear"
  ImageButton* Image2;         // execute
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;

 private:
  void Image2Click();
  void RefreshStatus();

  Shell& shell_;
};

}  // namespace kovrad::manager
