#include "app/registry.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "widgets/close_control.h"

namespace kovrad::manager {
namespace {

// The windows shown so far, the last shown on top. Without a window manager
// nothing else keeps the order: raising the main window alone would bury
// every window opened over it.
std::vector<QPointer<QWidget>>& Stack() {
  static std::vector<QPointer<QWidget>> stack;
  return stack;
}

constexpr char kBottomProperty[] = "kovradBottom";

bool IsBottom(const QWidget* window) {
  return window->property(kBottomProperty).toBool();
}

void Restack(QWidget* shown) {
  auto& stack = Stack();
  std::erase_if(stack, [shown](const QPointer<QWidget>& w) { return w.isNull() || w == shown; });
  stack.push_back(shown);
  shown->raise();
  if (!IsBottom(shown)) return;
  for (const QPointer<QWidget>& w : stack) {
    if (w != shown && w->isVisible()) w->raise();
  }
}

// Centred over `opener`, yet whole on the screen.
void Centre(QWidget* window, const QWidget* opener, const QRect& screen) {
  const QRect over = opener != nullptr && opener->isVisible() ? opener->frameGeometry() : screen;
  QRect placed(QPoint(), window->frameGeometry().size());
  placed.moveCenter(over.center());
  placed.moveLeft(std::clamp(placed.left(), screen.left(),
                             std::max(screen.left(), screen.right() + 1 - placed.width())));
  placed.moveTop(std::clamp(placed.top(), screen.top(),
                            std::max(screen.top(), screen.bottom() + 1 - placed.height())));
  window->move(placed.topLeft());
}

}  // namespace

void ActivateTop() {
  const auto& stack = Stack();
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    if (*it && (*it)->isVisible()) {
      (*it)->activateWindow();
      return;
    }
  }
}

void KeepAtBottom(QWidget* window) {
  window->setProperty(kBottomProperty, true);
}

void Present(QWidget* window, bool focus, const QWidget* opener) {
  const QRect screen = window->screen()->geometry();
  const bool appearing = !window->isVisible();
  if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
    window->setGeometry(screen);
  } else if (appearing && !window->testAttribute(Qt::WA_Resized)) {
    window->adjustSize();
  }
  window->show();
  // Placed once shown, when its layout has given it its final size.
  if (appearing && !(window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
    Centre(window, opener, screen);
  }
  Restack(window);
  if (focus) window->activateWindow();
}

void WindowRegistry::Register(Window id, QWidget* window, std::function<void()> reset) {
  windows_[id] = Entry{window, std::move(reset)};
  // Tab moves on from a text area, so that the keyboard reaches what follows.
  for (auto* memo : window->findChildren<QPlainTextEdit*>()) memo->setTabChangesFocus(true);
  if (id == Window::kMain) {
    KeepAtBottom(window);
  } else if (!(window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
    CloseControl::Install(window, may_leave_);
  }
}

QWidget* WindowRegistry::Find(Window id) const {
  const auto it = windows_.find(id);
  return it != windows_.end() ? it->second.window : nullptr;
}

bool WindowRegistry::Open(Window id, bool fresh, const QWidget* opener) {
  const auto it = windows_.find(id);
  if (it == windows_.end()) return false;
  if (fresh && it->second.reset) it->second.reset();
  Present(it->second.window, true, opener != nullptr ? opener : Find(Window::kMain));
  return true;
}

}  // namespace kovrad::manager
