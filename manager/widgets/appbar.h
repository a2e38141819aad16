// The app bar: a strip across the bottom edge of a full-screen window, hidden
// until the operator calls it with Escape. The window sees every key first:
// Escape shows or hides the bar, any other key hides it; so does a touch
// gesture (or, where asked, an upward swipe shows or hides it). While it is
// hidden a "Menu" button in the bottom right corner shows it, for a finger
// or a keyboard that knows no gesture or Escape.
#pragma once

#include <QFrame>

class QPushButton;

namespace kovrad::manager {

class AppBar : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kHeight = 75;

  enum class Swipe { kHides, kUpToggles };

  AppBar(QWidget* window, Swipe swipe);
  ~AppBar() override;

  void setVisible(bool visible) override;
  QPushButton* handle() const { return handle_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Lay();
  void Toggle();

  static constexpr int kHandleMargin = 6;

  QWidget* window_;
  Swipe swipe_;
  QPushButton* handle_;
};

}  // namespace kovrad::manager
