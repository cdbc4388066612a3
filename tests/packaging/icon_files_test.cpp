#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <algorithm>
#include <cstdlib>

#include "window/application.h"

namespace vrnskdm::packaging {
namespace {

using window::application_icon_image;
using window::application_icon_sizes;

QImage straight(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); }

QImage rendered_svg(int size) {
  QSvgRenderer svg{QStringLiteral(VRNSKDM_SCALABLE_ICON)};
  QImage image{size, size, QImage::Format_ARGB32_Premultiplied};
  image.fill(Qt::transparent);
  QPainter painter{&image};
  painter.setRenderHint(QPainter::Antialiasing);
  svg.render(&painter);
  painter.end();
  return image;
}

int channel_difference(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                   std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
}

// The share of pixels whose colour differs noticeably. Two renderers smooth the
// edges a little differently, which makes under 1 % of the pixels differ; one
// corner of the trace moved by a grid unit, or a colour changed by 16 in one
// channel, makes more than 2 % differ.
double share_differing(const QImage& a, const QImage& b) {
  const QImage left = straight(a);
  const QImage right = straight(b);
  int differing = 0;
  for (int y = 0; y < left.height(); ++y) {
    for (int x = 0; x < left.width(); ++x) {
      if (channel_difference(left.pixel(x, y), right.pixel(x, y)) > 12) ++differing;
    }
  }
  return static_cast<double>(differing) / (left.width() * left.height());
}

constexpr double edge_smoothing_allowance = 0.02;

TEST(IconFiles, TheScalableIconLooksLikeTheDrawnOneAtEverySize) {
  ASSERT_TRUE(QSvgRenderer{QStringLiteral(VRNSKDM_SCALABLE_ICON)}.isValid());
  for (const int size : application_icon_sizes) {
    const double share = share_differing(rendered_svg(size), application_icon_image(size));
    EXPECT_LT(share, edge_smoothing_allowance) << size << " pixels";
  }
}

// The theme's picture at each size is the window's own, not a scaled copy.
TEST(IconFiles, EachIconFileIsTheDrawnIconAtItsSize) {
  for (const int size : application_icon_sizes) {
    const QString file = QStringLiteral(VRNSKDM_ICON_THEME "/%1x%1/apps/vrnskdm.png").arg(size);
    const QImage loaded{file};
    ASSERT_FALSE(loaded.isNull()) << file.toStdString();
    EXPECT_EQ(loaded.size(), QSize(size, size)) << file.toStdString();
    EXPECT_EQ(straight(loaded), straight(application_icon_image(size))) << file.toStdString();
  }
}

}  // namespace
}  // namespace vrnskdm::packaging
