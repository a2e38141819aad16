// Clickable pictures and the dashboard's tiles.
#pragma once

#include <QFrame>
#include <QLabel>

namespace kovrad::manager {

// A picture that acts as a button: a click is a press and release on it. It
// takes the keyboard focus by Tab and by a click, shows it with a frame, and
// Enter or Space press it.
class ImageButton : public QLabel {
  Q_OBJECT

 public:
  static constexpr int kFocusFrame = 3;

  ImageButton(const QPixmap& picture, QWidget* parent);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

// A tile: a picture over a caption strip. The picture, the caption and the
// rest of the panel each report their own clicks; which of them open a window
// is the dashboard's business.
class Tile : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kHeight = 76;
  static constexpr int kCaptionHeight = 22;

  Tile(const QString& name, const QString& caption, const QPixmap& picture, int width,
       QWidget* parent);

  // Sizes the tile `scale` times its natural size, with `picture` drawn to fit.
  void SetScale(double scale, const QPixmap& picture);

  ImageButton* picture() const { return picture_; }
  ImageButton* caption() const { return caption_; }

 signals:
  void panelClicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int width_;
  ImageButton* picture_;
  ImageButton* caption_;
};

}  // namespace kovrad::manager
