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
// screen, any other is centred over `opener` (the screen without one) each
// time it appears, whole on the screen. With `focus` it takes the keyboard; a
// window that has not appeared yet takes it once it does, so a window shown
// behind a dialog must not ask for it. The windows stay stacked in the order
// they were last shown, the one kept at the bottom under all of them.
void Present(QWidget* window, bool focus = true, const QWidget* opener = nullptr);

// Gives the keyboard to the window on top, after the one that had it closed:
// without a window manager nothing else would.
void ActivateTop();

// Marks the window that Present never puts over another (the main window).
void KeepAtBottom(QWidget* window);

class WindowRegistry {
 public:
  // Asked before any registered window but the full-screen ones closes.
  void SetLeaveCheck(std::function<bool(QWidget*)> may_leave) { may_leave_ = std::move(may_leave); }

  // `reset` prepares the window for a fresh opening (a cleared text area, a
  // progress bar back at 0); openings that keep the window as it was left
  // skip it. Every window but the full-screen ones gets a close control.
  void Register(Window id, QWidget* window, std::function<void()> reset = {});
  QWidget* Find(Window id) const;
  // Shows the window without blocking and brings it to the front, centred
  // over `opener` (the main window without one); false when there is no such
  // window. The main window is kept at the bottom.
  bool Open(Window id, bool fresh = false, const QWidget* opener = nullptr);

 private:
  struct Entry {
    QWidget* window;
    std::function<void()> reset;
  };
  std::map<Window, Entry> windows_;
  std::function<bool(QWidget*)> may_leave_;
};

}  // namespace kovrad::manager
