// What every window of the manager shares: the library binding, the worker
// that calls it, the operator's dialogs, the run's session and the windows.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/registry.h"
#include "app/worker.h"
#include "client/binding.h"
#include "core/run_state.h"

namespace kovrad::manager {

class Shell {
 public:
  // `end_program` ends the run with the exit status it is given.
  Shell(client::Library& library, Dialogs& dialogs, std::function<void(int)> end_program);

  client::Library& library() { return library_; }
  Dialogs& dialogs() { return dialogs_; }
  Session& session() { return session_; }
  WindowRegistry& windows() { return windows_; }
  Worker& worker() { return worker_; }

  // Ends the run with `status`. While a call is under way the operator is
  // asked first and, on leaving, told that the device may still be working;
  // false when the operator stays.
  bool EndProgram(int status);

  bool busy() const { return worker_.busy(); }

  // Runs `job` (library calls) on the worker, then `done` on the window
  // thread. Meanwhile `window` shows a banner naming `operation` with the
  // time elapsed. While another call is under way nothing runs: `window`
  // shows a short notice naming that call, and the answer is false.
  template <typename R>
  bool Run(QWidget* window, const QString& operation, std::function<R()> job,
           std::function<void(R)> done) {
    if (!worker_.Run<R>(window, std::move(job), std::move(done))) {
      NoticeBusy(window);
      return false;
    }
    BeginCall(window, operation);
    return true;
  }

  // For the call under way, from any thread: what it waits for now, shown
  // after its name in the banner.
  std::function<void(const std::string&)> Progress();

  // Tells the operator on `window` which call must end first, and keeps the
  // window of that call in front.
  void NoticeBusy(QWidget* window);

  // Whether `window` may close now: while its own call is under way the
  // operator is asked first, and a window left then comes back when the call
  // ends, with its outcome.
  bool MayLeave(QWidget* window);

  // `message` as the operator reads it: a link error's fixed text and a
  // refusal of the code get a line on the cause and what to do.
  static std::string Explained(const std::string& message);

  // One message box per text (UTF-8), in order, each Explained.
  void Show(QWidget* parent, const std::vector<std::string>& messages);
  void Show(QWidget* parent, const std::string& message);

 private:
  void BeginCall(QWidget* window, const QString& operation);
  void EndCall();
  QString BusyText() const;

  client::Library& library_;
  Dialogs& dialogs_;
  std::function<void(int)> end_program_;
  Session session_;
  WindowRegistry windows_;
  Worker worker_;
  // The call under way: what it is, for how long, and the window it shows on.
  QString operation_;
  QString detail_;
  QElapsedTimer elapsed_;
  QPointer<QWidget> caller_;
  QPointer<QWidget> reopen_;
  QTimer tick_;
};

}  // namespace kovrad::manager
