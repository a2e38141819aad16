// What every window of the manager shares: the library binding, the worker
// that calls it, the operator's dialogs, the run's session and the windows.
#pragma once

#include <QApplication>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/registry.h"
#include "app/worker.h"
#include "core/binding.h"
#include "core/session.h"

namespace kovrad::manager {

class Shell {
 public:
  // `end_program` ends the run with the exit status it is given.
  Shell(Library& library, Dialogs& dialogs, std::function<void(int)> end_program);

  Library& library() { return library_; }
  Dialogs& dialogs() { return dialogs_; }
  Session& session() { return session_; }
  WindowRegistry& windows() { return windows_; }
  Worker& worker() { return worker_; }

  void EndProgram(int status) { end_program_(status); }

  // Runs `job` (library calls) on the worker for `window`, which shows that it
  // is busy meanwhile, then `done` on the window thread. While another call is
  // under way the operation is refused with a beep and false.
  template <typename R>
  bool Run(QWidget* window, std::function<R()> job, std::function<void(R)> done) {
    auto finish = [window, done = std::move(done)](R result) {
      window->unsetCursor();
      done(std::move(result));
    };
    if (!worker_.Run<R>(window, std::move(job), std::move(finish))) {
      QApplication::beep();
      return false;
    }
    window->setCursor(Qt::BusyCursor);
    return true;
  }

  // One message box per text (UTF-8), in order.
  void Show(QWidget* parent, const std::vector<std::string>& messages);
  void Show(QWidget* parent, const std::string& message);

 private:
  Library& library_;
  Dialogs& dialogs_;
  std::function<void(int)> end_program_;
  Session session_;
  WindowRegistry windows_;
  Worker worker_;
};

}  // namespace kovrad::manager
