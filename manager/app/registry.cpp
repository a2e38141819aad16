#include "app/registry.h"

#include <QScreen>
#include <QWidget>

namespace kovrad::manager {

void Present(QWidget* window, bool focus) {
  const QRect screen = window->screen()->geometry();
  if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
    window->setGeometry(screen);
  } else if (!window->isVisible() && !window->testAttribute(Qt::WA_Moved)) {
    if (!window->testAttribute(Qt::WA_Resized)) window->adjustSize();
    window->move(screen.center() - window->rect().center());
  }
  window->show();
  window->raise();
  if (focus) window->activateWindow();
}

void WindowRegistry::Register(Window id, QWidget* window, std::function<void()> reset) {
  windows_[id] = Entry{window, std::move(reset)};
}

QWidget* WindowRegistry::Find(Window id) const {
  const auto it = windows_.find(id);
  return it != windows_.end() ? it->second.window : nullptr;
}

bool WindowRegistry::Open(Window id, bool fresh) {
  const auto it = windows_.find(id);
  if (it == windows_.end()) return false;
  if (fresh && it->second.reset) it->second.reset();
  Present(it->second.window);
  return true;
}

}  // namespace kovrad::manager
