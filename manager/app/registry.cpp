#include "app/registry.h"

#include <QWidget>

namespace kovrad::manager {

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
  QWidget* window = it->second.window;
  window->show();
  window->raise();
  window->activateWindow();
  return true;
}

}  // namespace kovrad::manager
