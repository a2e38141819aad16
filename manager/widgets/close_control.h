// What lets the operator leave a window where no window manager draws a
// frame (a kiosk till): its own "Fechar" button and the Escape key. Leaving
// can be held back, for a window whose device call is still under way.
#pragma once

#include <QObject>
#include <functional>

class QPushButton;
class QWidget;

namespace kovrad::manager {

// Answers whether `window` may close now (it may ask the operator).
using LeaveCheck = std::function<bool(QWidget* window)>;

class CloseControl : public QObject {
  Q_OBJECT

 public:
  // Gives `window` a "Fechar" button (at the end of its box or grid layout,
  // over its bottom right corner without one) and, unless it is a dialog
  // (which closes on Escape already), the Escape key; every close, however
  // asked for, passes `may_leave` first.
  static CloseControl* Install(QWidget* window, LeaveCheck may_leave);
  static CloseControl* Of(const QWidget* window);

  QPushButton* button() const { return button_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CloseControl(QWidget* window, LeaveCheck may_leave);
  void Place();

  QWidget* window_;
  LeaveCheck may_leave_;
  QPushButton* button_;
  bool overlay_ = false;
};

}  // namespace kovrad::manager
