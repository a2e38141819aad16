// The strip at the top of a window that says a device call is under way
// (with its elapsed time), or briefly that another one must finish first.
// A touch-screen operator sees it where a busy cursor would go unnoticed.
#pragma once

#include <QLabel>

class QTimer;

namespace kovrad::manager {

class BusyBanner : public QLabel {
  Q_OBJECT

 public:
  // The window's banner, made on first use: placed first in the window's
  // box layout, or laid over the window's top edge when it has none.
  static BusyBanner* Of(QWidget* window);

  // Shown until Clear().
  void ShowBusy(const QString& text);
  // Shown for a few seconds.
  void ShowNotice(const QString& text);
  void Clear();

  bool IsNotice() const { return notice_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  explicit BusyBanner(QWidget* window);
  void Place();

  QTimer* expiry_;
  bool notice_ = false;
  bool overlay_ = false;
};

}  // namespace kovrad::manager
