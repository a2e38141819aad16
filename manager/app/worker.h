// The one thread that calls the device library. The library keeps its state
// in the module and takes one call at a time, and a call may wait for the
// device for minutes: windows hand their calls to this worker and stay
// responsive, and a second job is refused while one runs.
#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>
#include <functional>
#include <memory>

namespace kovrad::manager {

class Worker : public QObject {
  Q_OBJECT

 public:
  Worker();
  ~Worker() override;

  bool busy() const { return busy_; }

  // Runs `job` on the worker thread, then `done` with its result on this
  // object's thread, provided `context` still exists. False, and nothing
  // run, while another job is under way.
  template <typename R>
  bool Run(QObject* context, std::function<R()> job, std::function<void(R)> done) {
    if (busy_) return false;
    busy_ = true;
    QPointer<QObject> guard(context);
    QMetaObject::invokeMethod(runner_, [this, guard, job = std::move(job), done = std::move(done)] {
      auto result = std::make_shared<R>(job());
      QMetaObject::invokeMethod(this, [this, guard, done, result] {
        busy_ = false;
        emit finished();
        if (guard) done(std::move(*result));
      });
    });
    return true;
  }

 signals:
  void finished();

 private:
  QThread thread_;
  QObject* runner_;
  bool busy_ = false;
};

}  // namespace kovrad::manager
