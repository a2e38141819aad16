#include "widgets/close_control.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "app/registry.h"

namespace kovrad::manager {
namespace {

constexpr char kName[] = "CloseControl";
constexpr int kMargin = 8;

}  // namespace

CloseControl* CloseControl::Install(QWidget* window, LeaveCheck may_leave) {
  if (CloseControl* existing = Of(window)) return existing;
  return new CloseControl(window, std::move(may_leave));
}

CloseControl* CloseControl::Of(const QWidget* window) {
  return window->findChild<CloseControl*>(kName, Qt::FindDirectChildrenOnly);
}

CloseControl::CloseControl(QWidget* window, LeaveCheck may_leave)
    : QObject(window),
      window_(window),
      may_leave_(std::move(may_leave)),
      button_(new QPushButton("Fechar", window)) {
  setObjectName(kName);
  button_->setObjectName("CloseButton");
  button_->setAutoDefault(false);
  connect(button_, &QPushButton::clicked, window, &QWidget::close);
  if (qobject_cast<QDialog*>(window) == nullptr) {
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window, window, &QWidget::close);
    escape->setContext(Qt::WindowShortcut);
  }
  if (auto* box = qobject_cast<QBoxLayout*>(window->layout())) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(button_);
    box->addLayout(row);
  } else if (auto* grid = qobject_cast<QGridLayout*>(window->layout())) {
    grid->addWidget(button_, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignRight);
  } else {
    overlay_ = true;
    Place();
  }
  window->installEventFilter(this);
}

void CloseControl::Place() {
  button_->adjustSize();
  button_->move(window_->width() - button_->width() - kMargin,
                window_->height() - button_->height() - kMargin);
  button_->raise();
}

bool CloseControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_) {
    if (event->type() == QEvent::Close && may_leave_ && !may_leave_(window_)) {
      event->ignore();
      return true;
    }
    // A dialog hides itself on Escape without a close event.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        qobject_cast<QDialog*>(window_) != nullptr && may_leave_ && !may_leave_(window_)) {
      return true;
    }
    if (overlay_ && event->type() == QEvent::Resize) Place();
    if (event->type() == QEvent::Hide && window_->isActiveWindow()) {
      QTimer::singleShot(0, window_, [] { ActivateTop(); });
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace kovrad::manager
