#include "appbar.h"

#include <QApplication>
#include <QGestureEvent>
#include <QKeyEvent>
#include <QSwipeGesture>

namespace kovrad::manager {

AppBar::AppBar(QWidget* window, Swipe swipe) : QFrame(window), window_(window), swipe_(swipe) {
  setObjectName("AppBar");
  setAutoFillBackground(true);
  QPalette bar = palette();
  bar.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x30));
  setPalette(bar);
  hide();
  Lay();
  window->grabGesture(Qt::SwipeGesture);
  window->installEventFilter(this);
  // Keys go to the focused control first; the bar has to see them all.
  qApp->installEventFilter(this);
}

AppBar::~AppBar() {
  qApp->removeEventFilter(this);
}

void AppBar::Lay() {
  setGeometry(0, window_->height() - kHeight, window_->width(), kHeight);
  raise();
}

void AppBar::HandleKey(int key) {
  if (key == Qt::Key_Escape) {
    setVisible(isHidden());
    if (isVisible()) Lay();
  } else {
    hide();
  }
}

bool AppBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_) {
    switch (event->type()) {
      case QEvent::Resize:
        Lay();
        break;
      case QEvent::Show:
        hide();
        break;
      case QEvent::Gesture: {
        auto* swipe = static_cast<QSwipeGesture*>(
            static_cast<QGestureEvent*>(event)->gesture(Qt::SwipeGesture));
        if (swipe == nullptr || swipe->state() != Qt::GestureFinished) return true;
        if (swipe_ == Swipe::kUpToggles && swipe->verticalDirection() == QSwipeGesture::Up) {
          HandleKey(Qt::Key_Escape);
        } else {
          hide();
        }
        return true;
      }
      default:
        break;
    }
  }
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  // A key travels from the focused control up to the window; take it once,
  // where it starts.
  auto* receiver = static_cast<QWidget*>(watched);
  QWidget* focus = QApplication::focusWidget();
  const bool focus_here = focus != nullptr && focus->window() == window_;
  if (receiver == focus ? focus_here : (receiver == window_ && !focus_here)) {
    HandleKey(static_cast<QKeyEvent*>(event)->key());
  }
  return false;
}

}  // namespace kovrad::manager
