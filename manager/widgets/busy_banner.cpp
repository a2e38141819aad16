#include "widgets/busy_banner.h"

#include <QBoxLayout>
#include <QEvent>
#include <QTimer>

namespace kovrad::manager {
namespace {

constexpr int kNoticeMs = 4000;

}  // namespace

BusyBanner* BusyBanner::Of(QWidget* window) {
  auto* banner = window->findChild<BusyBanner*>("BusyBanner", Qt::FindDirectChildrenOnly);
  return banner != nullptr ? banner : new BusyBanner(window);
}

BusyBanner::BusyBanner(QWidget* window) : QLabel(window), expiry_(new QTimer(this)) {
  setObjectName("BusyBanner");
  setWordWrap(true);
  setAlignment(Qt::AlignCenter);
  setMargin(8);
  setAutoFillBackground(true);
  QFont bold = font();
  bold.setBold(true);
  setFont(bold);
  QPalette strip = palette();
  strip.setColor(QPalette::Window, QColor(0xf0, 0xa3, 0x0a));
  strip.setColor(QPalette::WindowText, Qt::black);
  setPalette(strip);
  hide();
  expiry_->setSingleShot(true);
  connect(expiry_, &QTimer::timeout, this, &BusyBanner::Clear);
  if (auto* box = qobject_cast<QBoxLayout*>(window->layout())) {
    box->insertWidget(0, this);
  } else {
    overlay_ = true;
    window->installEventFilter(this);
  }
}

void BusyBanner::ShowBusy(const QString& text) {
  expiry_->stop();
  notice_ = false;
  setText(text);
  Place();
  show();
}

void BusyBanner::ShowNotice(const QString& text) {
  notice_ = true;
  setText(text);
  Place();
  show();
  expiry_->start(kNoticeMs);
}

void BusyBanner::Clear() {
  expiry_->stop();
  notice_ = false;
  hide();
}

void BusyBanner::Place() {
  if (!overlay_) return;
  const int width = parentWidget()->width();
  setGeometry(0, 0, width, heightForWidth(width));
  raise();
}

bool BusyBanner::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) Place();
  return QLabel::eventFilter(watched, event);
}

}  // namespace kovrad::manager
