#include "widgets/value_label.h"

#include <QPainter>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>

namespace kovrad::manager {
namespace {

// Width the label asks for, and the least it accepts, in average characters.
constexpr int kPreferredCharacters = 28;
constexpr int kLeastCharacters = 10;

}  // namespace

ValueLabel::ValueLabel(QWidget* parent) : QLabel(parent) {
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

int ValueLabel::Lay(int width, QPainter* painter) const {
  QTextLayout layout(text(), font());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  qreal height = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(std::max(width, 1));
    line.setPosition(QPointF(0, height));
    height += line.height();
  }
  layout.endLayout();
  if (painter != nullptr) layout.draw(painter, contentsRect().topLeft());
  return std::max(static_cast<int>(std::ceil(height)), fontMetrics().height());
}

int ValueLabel::heightForWidth(int width) const {
  return Lay(width, nullptr);
}

QSize ValueLabel::sizeHint() const {
  const int preferred = fontMetrics().averageCharWidth() * kPreferredCharacters;
  const int width = std::min(fontMetrics().horizontalAdvance(text()) + 1, preferred);
  return {std::max(width, minimumSizeHint().width()), heightForWidth(width)};
}

QSize ValueLabel::minimumSizeHint() const {
  return {fontMetrics().averageCharWidth() * kLeastCharacters, fontMetrics().height()};
}

void ValueLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  Lay(contentsRect().width(), &painter);
}

}  // namespace kovrad::manager
