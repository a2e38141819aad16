// The manager's windows, created once at start-up and kept for the run. Tiles
// and links open a window through here by what it is, so a window that does
// not exist yet simply is not opened.
#pragma once

#include <functional>
#include <map>

class QWidget;

namespace kovrad::manager {

enum class Window {
  kMain,
  kStartUp,
  kUpdate,
  kTest,
  kActivationChecklist,
  kCodeChangeFullScreen,
  kCertificateRequest,
  kLock,
  kMessage,
  kLog,
  kSale,
  kNetwork,
  kActivation,
  kSignature,
  kCodeChange,
};

class WindowRegistry {
 public:
  // `reset` prepares the window for a fresh opening (a cleared text area, a
  // progress bar back at 0); openings that keep the window as it was left
  // skip it.
  void Register(Window id, QWidget* window, std::function<void()> reset = {});
  QWidget* Find(Window id) const;
  // Shows the window without blocking and brings it to the front; false when
  // there is no such window.
  bool Open(Window id, bool fresh = false);

 private:
  struct Entry {
    QWidget* window;
    std::function<void()> reset;
  };
  std::map<Window, Entry> windows_;
};

}  // namespace kovrad::manager
