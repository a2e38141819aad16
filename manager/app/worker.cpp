#include "app/worker.h"

namespace kovrad::manager {

Worker::Worker() : runner_(new QObject) {
  runner_->moveToThread(&thread_);
  connect(&thread_, &QThread::finished, runner_, &QObject::deleteLater);
  thread_.setObjectName("kovrad-worker");
  thread_.start();
}

Worker::~Worker() {
  thread_.quit();
  thread_.wait();
}

}  // namespace kovrad::manager
