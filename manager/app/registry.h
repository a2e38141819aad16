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

// Shows `window` in front, also where no window manager runs (a kiosk till)
// to size and place windows: a maximised or full-screen window gets the whole
// screen, any other is centred on it the first time. With `focus` it takes
// the keyboard; a window that has not appeared yet takes it once it does,
// so a window shown behind a dialog must not ask for it.
void Present(QWidget* window, bool focus = true);

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
