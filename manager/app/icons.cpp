#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>

namespace kovrad::manager {
namespace {

// Every drawing works on a 48 x 48 grid, scaled to the size asked for.
constexpr qreal kGrid = 48;

void Arrow(QPainter& p, QPointF tip, qreal angle_degrees) {
  p.save();
  p.translate(tip);
  p.rotate(angle_degrees);
  p.drawPolyline(QPolygonF({QPointF(-6, -6), QPointF(0, 0), QPointF(-6, 6)}));
  p.restore();
}

void CircularArrows(QPainter& p) {
  const QRectF ring(10, 10, 28, 28);
  p.drawArc(ring, 30 * 16, 150 * 16);
  p.drawArc(ring, 210 * 16, 150 * 16);
  Arrow(p, QPointF(36.1, 17), -60);
  Arrow(p, QPointF(11.9, 31), 120);
}

void Draw(QPainter& p, Icon icon) {
  switch (icon) {
    case Icon::kNetwork:
      p.drawRect(QRectF(18, 6, 12, 10));
      p.drawRect(QRectF(4, 32, 12, 10));
      p.drawRect(QRectF(32, 32, 12, 10));
      p.drawLine(QPointF(24, 16), QPointF(24, 24));
      p.drawLine(QPointF(10, 24), QPointF(38, 24));
      p.drawLine(QPointF(10, 24), QPointF(10, 32));
      p.drawLine(QPointF(38, 24), QPointF(38, 32));
      break;
    case Icon::kActivate:
      p.drawArc(QRectF(10, 10, 28, 28), 120 * 16, 300 * 16);
      p.drawLine(QPointF(24, 6), QPointF(24, 24));
      break;
    case Icon::kSignature: {
      QPainterPath path(QPointF(6, 34));
      path.cubicTo(12, 20, 16, 44, 22, 30);
      path.cubicTo(26, 22, 28, 38, 34, 32);
      p.drawPath(path);
      p.drawLine(QPointF(6, 42), QPointF(42, 42));
      p.drawLine(QPointF(30, 22), QPointF(42, 8));
      break;
    }
    case Icon::kUpdate:
    case Icon::kRefresh:
      CircularArrows(p);
      if (icon == Icon::kUpdate) {
        p.drawLine(QPointF(24, 17), QPointF(24, 31));
        Arrow(p, QPointF(24, 31), 90);
      }
      break;
    case Icon::kTest:
      p.drawRect(QRectF(8, 8, 32, 32));
      p.drawPolyline(QPolygonF({QPointF(15, 24), QPointF(22, 31), QPointF(34, 17)}));
      break;
    case Icon::kKey:
      p.drawEllipse(QRectF(6, 16, 16, 16));
      p.drawLine(QPointF(22, 24), QPointF(42, 24));
      p.drawLine(QPointF(36, 24), QPointF(36, 31));
      p.drawLine(QPointF(42, 24), QPointF(42, 31));
      break;
    case Icon::kLock:
      p.drawRect(QRectF(11, 22, 26, 20));
      p.drawArc(QRectF(15, 8, 18, 24), 0, 180 * 16);
      p.drawLine(QPointF(15, 20), QPointF(15, 22));
      p.drawLine(QPointF(33, 20), QPointF(33, 22));
      p.drawLine(QPointF(24, 29), QPointF(24, 35));
      break;
    case Icon::kLogs:
      p.drawRect(QRectF(10, 6, 28, 36));
      for (qreal y : {14, 21, 28, 35}) p.drawLine(QPointF(15, y), QPointF(33, y));
      break;
    case Icon::kFiscal:
      p.drawPolyline(QPolygonF({QPointF(12, 6), QPointF(36, 6), QPointF(36, 42), QPointF(32, 39),
                                QPointF(28, 42), QPointF(24, 39), QPointF(20, 42), QPointF(16, 39),
                                QPointF(12, 42), QPointF(12, 6)}));
      for (qreal y : {14, 20, 26}) p.drawLine(QPointF(17, y), QPointF(31, y));
      break;
    case Icon::kSave:
      p.drawPolygon(QPolygonF(
          {QPointF(8, 8), QPointF(34, 8), QPointF(40, 14), QPointF(40, 40), QPointF(8, 40)}));
      p.drawRect(QRectF(15, 8, 16, 10));
      p.drawRect(QRectF(14, 26, 20, 14));
      break;
    case Icon::kStart:
      for (qreal x : {9, 25}) {
        for (qreal y : {9, 25}) p.drawRect(QRectF(x, y, 14, 14));
      }
      break;
    case Icon::kExit:
      p.drawEllipse(QRectF(6, 6, 36, 36));
      p.drawLine(QPointF(17, 17), QPointF(31, 31));
      p.drawLine(QPointF(31, 17), QPointF(17, 31));
      break;
    case Icon::kBack:
      p.drawEllipse(QRectF(6, 6, 36, 36));
      p.drawLine(QPointF(15, 24), QPointF(33, 24));
      Arrow(p, QPointF(15, 24), 180);
      break;
    case Icon::kSend:
      p.drawEllipse(QRectF(6, 6, 36, 36));
      p.drawLine(QPointF(15, 24), QPointF(33, 24));
      Arrow(p, QPointF(33, 24), 0);
      break;
    case Icon::kOpen:
      p.drawPolyline(QPolygonF({QPointF(6, 38), QPointF(6, 10), QPointF(18, 10), QPointF(22, 15),
                                QPointF(38, 15), QPointF(38, 21)}));
      p.drawPolygon(QPolygonF({QPointF(6, 38), QPointF(13, 21), QPointF(43, 21), QPointF(36, 38)}));
      break;
  }
}

}  // namespace

QPixmap DrawIcon(Icon icon, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / kGrid, size / kGrid);
  p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  Draw(p, icon);
  return pixmap;
}

}  // namespace kovrad::manager
