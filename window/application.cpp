#include "application.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyleFactory>

#include "form1.h"
#include "supervision/window_model.h"

namespace vrnskdm::window {

namespace {

// Drawn on a 32 x 32 grid and scaled to the place given. The scalable icon
// installed for the desktop, vrnskdm.svg, draws the same shapes on the same grid.
constexpr double grid = 32;

void paint_icon(QPainter& painter, const QRect& place) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(place.topLeft());
  painter.scale(place.width() / grid, place.height() / grid);

  const QRectF screen{1.5, 1.5, 29, 29};
  QPainterPath outline;
  outline.addRoundedRect(screen, 5, 5);
  painter.fillPath(outline, QColor{0x1c, 0x2a, 0x48});

  // The warning panel's two colours along the bottom.
  painter.save();
  painter.setClipPath(outline);
  painter.fillRect(QRectF{0, 24, 16, 8}, design_colour(supervision::warning_red));
  painter.fillRect(QRectF{16, 24, 16, 8}, design_colour(supervision::warning_green));
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
}

// Draws the icon at the size asked for, when it is asked for, and keeps
// nothing: a platform that shows no icon never has it drawn, and one that
// does keeps its own copy. Ready-drawn pixmaps at every size would stay in
// the program's memory for good.
class drawn_icon final : public QIconEngine {
 public:
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode /*unused*/,
             QIcon::State /*unused*/) override {
    painter->save();
    paint_icon(*painter, rect);
    painter->restore();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap{size};
    pixmap.fill(Qt::transparent);
    QPainter painter{&pixmap};
    paint(&painter, QRect{QPoint{}, size}, mode, state);
    return pixmap;
  }

  QList<QSize> availableSizes(QIcon::Mode /*unused*/, QIcon::State /*unused*/) override {
    QList<QSize> sizes;
    for (const int size : application_icon_sizes) sizes.append(QSize{size, size});
    return sizes;
  }

  QIconEngine* clone() const override { return new drawn_icon; }
};

}  // namespace

QImage application_icon_image(int size) {
  QImage image{size, size, QImage::Format_ARGB32_Premultiplied};
  image.fill(Qt::transparent);
  QPainter painter{&image};
  paint_icon(painter, image.rect());
  painter.end();
  return image;
}

QIcon application_icon() { return QIcon{new drawn_icon}; }

void set_up_application(QApplication& application) {
  application.setApplicationName("vrnskdm");
  application.setApplicationVersion(QStringLiteral(VRNSKDM_VERSION));
  // The controls sit at fixed places and sizes; another style's wider frames or
  // margins would clip their texts.
  application.setStyle(QStyleFactory::create("Fusion"));
  QApplication::setFont(design_font(design_points));
  application.setWindowIcon(application_icon());
  // Desktops that know windows by the entry that started them (Wayland's
  // application id) find the installed vrnskdm.desktop, with the same icon.
  QGuiApplication::setDesktopFileName("vrnskdm");
}

}  // namespace vrnskdm::window
