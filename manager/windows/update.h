// The software update window: asks the device to update its own software, a
// call that may last half an hour. Until the device answers, the bar moves
// without a measure and the window says how long it has been working; only
// then is the bar full.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
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
  QLabel* Andamento;  // what is happening, with the time elapsed
  QTimer* Timer1;     // refreshes the elapsed time

  // The bar back at 0, for a fresh opening; an update under way is left as it is.
  void ResetProgress();

 private:
  void Image2Click();
  void Timer1Timer();
  void Finish(const std::string& message);

  Shell& shell_;
  QElapsedTimer elapsed_;
};

}  // namespace kovrad::manager
