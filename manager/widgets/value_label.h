// A value of the status panel: shown whole, on as many lines as its column
// needs. A long number without blanks (a CF-e number) breaks between any two
// characters; text breaks at blanks where it can.
#pragma once

#include <QLabel>

namespace kovrad::manager {

class ValueLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ValueLabel(QWidget* parent);

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The text laid out in `width` pixels; the height it takes.
  int Lay(int width, QPainter* painter) const;
};

}  // namespace kovrad::manager
