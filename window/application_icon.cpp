#include "application_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vrnskdm::window {

namespace {

// Drawn on a 32 x 32 grid and scaled to the size asked for. The scalable icon
// installed for the desktop, vrnskdm.svg, draws the same shapes on the same grid.
constexpr double grid = 32;

}  // namespace

QImage application_icon_image(int size) {
  QImage image{size, size, QImage::Format_ARGB32_Premultiplied};
  image.fill(Qt::transparent);
  QPainter painter{&image};
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
  painter.end();
  return image;
}

QIcon application_icon() {
  QIcon icon;
  for (const int size : application_icon_sizes) {
    icon.addPixmap(QPixmap::fromImage(application_icon_image(size)));
  }
  return icon;
}

}  // namespace vrnskdm::window
