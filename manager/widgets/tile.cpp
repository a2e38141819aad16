#include "widgets/tile.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "app/style.h"

namespace kovrad::manager {

ImageButton::ImageButton(const QPixmap& picture, QWidget* parent) : QLabel(parent) {
  setPixmap(picture);
  setAlignment(Qt::AlignCenter);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked();
  }
}

void ImageButton::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (event->isAutoRepeat()) return;
      emit clicked();
      return;
    default:
      QLabel::keyPressEvent(event);
  }
}

void ImageButton::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter p(this);
  p.setPen(QPen(palette().color(QPalette::Highlight), kFocusFrame));
  p.drawRect(rect().adjusted(1, 1, -2, -2));
}

Tile::Tile(const QString& name, const QString& caption, const QPixmap& picture, int width,
           QWidget* parent)
    : QFrame(parent),
      width_(width),
      picture_(new ImageButton(picture, this)),
      caption_(new ImageButton(QPixmap(), this)) {
  setObjectName(name);
  setAutoFillBackground(true);
  QPalette tile = palette();
  tile.setColor(QPalette::Window, QColor(0x1b, 0xa1, 0xe2));
  setPalette(tile);

  picture_->setObjectName(name + "Image");
  caption_->setObjectName(name + "Caption");
  caption_->setText(caption);
  caption_->setAutoFillBackground(true);
  QPalette strip = caption_->palette();
  strip.setColor(QPalette::Window, QColor(0x12, 0x6f, 0x9c));
  strip.setColor(QPalette::WindowText, Qt::white);
  caption_->setPalette(strip);
  SetScale(1.0, picture);
}

void Tile::SetScale(double scale, const QPixmap& picture) {
  const int width = qRound(width_ * scale);
  const int height = qRound(kHeight * scale);
  const int caption = qRound(kCaptionHeight * scale);
  setFixedSize(width, height);
  picture_->setPixmap(picture);
  picture_->setGeometry(0, 0, width, height - caption);
  // A caption wider than its strip is set smaller rather than cut.
  QFont font = TextFont(qRound(11 * scale));
  while (font.pixelSize() > 7 &&
         QFontMetrics(font).horizontalAdvance(caption_->text()) > width - 4) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  caption_->setFont(font);
  caption_->setGeometry(0, height - caption, width, caption);
}

void Tile::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit panelClicked();
  }
}

}  // namespace kovrad::manager
