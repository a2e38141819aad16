#include "widgets/tile.h"

#include <QMouseEvent>

#include "app/style.h"

namespace kovrad::manager {

ImageButton::ImageButton(const QPixmap& picture, QWidget* parent) : QLabel(parent) {
  setPixmap(picture);
  setAlignment(Qt::AlignCenter);
  setCursor(Qt::PointingHandCursor);
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked();
  }
}

Tile::Tile(const QString& name, const QString& caption, const QPixmap& picture, int width,
           QWidget* parent)
    : QFrame(parent),
      picture_(new ImageButton(picture, this)),
      caption_(new ImageButton(QPixmap(), this)) {
  setObjectName(name);
  setFixedSize(width, kHeight);
  setAutoFillBackground(true);
  QPalette tile = palette();
  tile.setColor(QPalette::Window, QColor(0x1b, 0xa1, 0xe2));
  setPalette(tile);

  picture_->setObjectName(name + "Image");
  picture_->setGeometry(0, 0, width, kHeight - kCaptionHeight);

  caption_->setObjectName(name + "Caption");
  caption_->setText(caption);
  caption_->setFont(TextFont(11));
  caption_->setGeometry(0, kHeight - kCaptionHeight, width, kCaptionHeight);
  caption_->setAutoFillBackground(true);
  QPalette strip = caption_->palette();
  strip.setColor(QPalette::Window, QColor(0x12, 0x6f, 0x9c));
  strip.setColor(QPalette::WindowText, Qt::white);
  caption_->setPalette(strip);
}

void Tile::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit panelClicked();
  }
}

}  // namespace kovrad::manager
