#include "widgets/appbar.h"

#include <QApplication>
#include <QGestureEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSwipeGesture>

namespace kovrad::manager {

AppBar::AppBar(QWidget* window, Swipe swipe)
    : QFrame(window), window_(window), swipe_(swipe), handle_(new QPushButton("Menu", window)) {
  setObjectName("AppBar");
  handle_->setObjectName("AppBarHandle");
  handle_->setToolTip("Mostrar a barra de início e saída");
  handle_->setAutoDefault(false);
  connect(handle_, &QPushButton::clicked, this, &AppBar::Toggle);
  setAutoFillBackground(true);
  QPalette bar = palette();
  bar.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x30));
  setPalette(bar);
  hide();
  Lay();
  window->grabGesture(Qt::SwipeGesture);
  window->installEventFilter(this);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window, [this] { Toggle(); });
  escape->setContext(Qt::WindowShortcut);
  qApp->installEventFilter(this);
}

AppBar::~AppBar() {
  qApp->removeEventFilter(this);
}

void AppBar::Lay() {
  setGeometry(0, window_->height() - kHeight, window_->width(), kHeight);
  raise();
  handle_->adjustSize();
  handle_->move(window_->width() - handle_->width() - kHandleMargin,
                window_->height() - handle_->height() - kHandleMargin);
  handle_->raise();
}

void AppBar::setVisible(bool visible) {
  QFrame::setVisible(visible);
  handle_->setVisible(!visible);
}

void AppBar::Toggle() {
  setVisible(isHidden());
  if (isVisible()) Lay();
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
          Toggle();
        } else {
          hide();
        }
        return true;
      }
      default:
        break;
    }
  }
  // Keys go to the focused control first; any of them but Escape (taken by
  // the shortcut) hides the bar, however far it travels.
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == window_ &&
      static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) {
    hide();
  }
  return false;
}

}  // namespace kovrad::manager
