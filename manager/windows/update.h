// The software update window: asks the device to update its own software,
// the bar advancing once a second while the request is under way.
#pragma once

#include <QWidget>

class QProgressBar;
class QTimer;

namespace kovrad::manager {

class ImageButton;
class Shell;

class TForm6 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm6(Shell& shell);

  ImageButton* Image2;  // start the update
  QProgressBar* ProgressBar1;
  QTimer* Timer1;

  // The bar back at 0, for a fresh opening.
  void ResetProgress();

 private:
  void Image2Click();
  void Timer1Timer();

  Shell& shell_;
};

}  // namespace kovrad::manager
