#include "application_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vrnskdm::window {

namespace {

// Drawn on a 32 x 32 grid and scaled to the size asked for.
constexpr double grid = 32;

QPixmap draw_icon(int size) {
  QPixmap pixmap{size, size};
  pixmap.fill(Qt::transparent);
  QPainter painter{&pixmap};
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / grid, size / grid);

  const QRectF screen{1.5, 1.5, 29, 29};
  QPainterPath outline;
  outline.addRoundedRect(screen, 5, 5);
  painter.fillPath(outline, QColor{0x1c, 0x2a, 0x48});

  // The warning panel's two colours along the bottom.
  painter.save();
  painter.setClipPath(outline);
  painter.fillRect(QRectF{0, 24, 16, 8}, QColor{0xff, 0x01, 0x01});
  painter.fillRect(QRectF{16, 24, 16, 8}, QColor{0x00, 0xff, 0x01});
  painter.restore();

  QPen trace{QColor{0x6c, 0xf0, 0x8c}, 2.2};
  trace.setJoinStyle(Qt::RoundJoin);
  trace.setCapStyle(Qt::RoundCap);
  painter.setPen(trace);
  const QPointF beat[] = {{4.5, 14},  {10, 14},   {12.5, 7},  {15.5, 20.5},
                          {18.5, 10}, {20.5, 14}, {27.5, 14}};
  painter.drawPolyline(beat, static_cast<int>(std::size(beat)));

  painter.setPen(QPen{QColor{0x0b, 0x12, 0x22}, 1});
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(outline);
  return pixmap;
}

}  // namespace

QIcon application_icon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(draw_icon(size));
  return icon;
}

}  // namespace vrnskdm::window
