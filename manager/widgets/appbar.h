// The app bar: a strip across the bottom edge of a full-screen window, hidden
// until the operator calls it with Escape. The window sees every key first:
// Escape shows or hides the bar, any other key hides it; so does a touch
// gesture (or, where asked, an upward swipe shows or hides it).
#pragma once

#include <QFrame>

namespace kovrad::manager {

class AppBar : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kHeight = 75;

  enum class Swipe { kHides, kUpToggles };

  AppBar(QWidget* window, Swipe swipe);
  ~AppBar() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Lay();
  void Toggle();

  QWidget* window_;
  Swipe swipe_;
};

}  // namespace kovrad::manager
