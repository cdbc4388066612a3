#include "status_label.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRawFont>
#include <QStyleOption>
#include <QTextLayout>
#include <algorithm>
#include <limits>
#include <map>
#include <utility>

namespace vrnskdm::window {

namespace {

constexpr Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;

// The characters that stand beside digits in the texts shown: digits, and the
// separators of times, dates and counts.
const QString beside_digits = QStringLiteral("0123456789 /:");

// Antialiasing and the glyph's place within a pixel spread its ink this far
// beyond its outline's box, at most.
constexpr qreal ink_margin = 1;

// The width QPainter::drawText gives a line it does not wrap.
constexpr qreal unbounded_width = 0x01000000;

bool is_digit(QChar c) { return c >= u'0' && c <= u'9'; }

// Lays the whole text out in one line, as QPainter::drawText lays out a text it
// neither wraps nor turns right to left.
QTextLine lay_out_line(QTextLayout& layout) {
  QTextOption option;
  option.setTextDirection(Qt::LeftToRight);
  option.setFlags(QTextOption::IncludeTrailingSpaces);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  line.setLineWidth(unbounded_width);
  layout.endLayout();
  return line;
}

// The one run of glyphs a line is drawn with, one glyph for each character;
// nothing when the line takes more runs (another font for some characters) or
// fewer or more glyphs.
std::optional<QGlyphRun> one_glyph_a_character(const QTextLine& line, qsizetype characters) {
  const QList<QGlyphRun> runs = line.glyphRuns();
  if (line.textLength() != characters || runs.size() != 1 ||
      runs.front().glyphIndexes().size() != characters) {
    return std::nullopt;
  }
  return runs.front();
}

}  // namespace

status_label::status_label(const QString& text, QWidget* parent) : QLabel{text, parent} {
  setTextFormat(Qt::PlainText);
  // The label fills what it repaints with its background itself, with the
  // painter it draws the text with, rather than Qt with a painter of its own.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void status_label::show_text(const QString& text) {
  if (text == this->text()) return;
  const std::optional<QRect> changed = swap_digits(text);
  if (!changed) {
    setText(text);
    return;
  }
  // QLabel::setText repaints the whole label: the text is set with repaints
  // held back, and only the glyphs swapped are repainted.
  const bool held = testAttribute(Qt::WA_UpdatesDisabled);
  setAttribute(Qt::WA_UpdatesDisabled);
  setText(text);
  setAttribute(Qt::WA_UpdatesDisabled, held);
  repaint(*changed);
}

void status_label::paintEvent(QPaintEvent* event) {
  const QRect area = event->rect();
  QPainter painter{this};
  painter.fillRect(area, palette().brush(backgroundRole()));
  if (!line_ || line_->text != text() || line_->box != contentsRect()) line_ = lay_out();
  if (!line_) {
    painter.end();
    QLabel::paintEvent(event);
    return;
  }
  // The colour QLabel's style draws the text in, for the label's state.
  QStyleOption option;
  option.initFrom(this);
  painter.setPen(QPen{option.palette.brush(foregroundRole()), 1});

  // Only the glyphs whose ink meets the area to paint; the others leave the
  // area's pixels as they are.
  QList<quint32> indexes;
  QList<QPointF> positions;
  const QList<quint32> all_indexes = line_->glyphs.glyphIndexes();
  const QList<QPointF> all_positions = line_->glyphs.positions();
  for (qsizetype i = 0; i < all_indexes.size(); ++i) {
    const ink_span& ink = line_->ink[static_cast<std::size_t>(i)];
    if (ink.right > area.left() && ink.left < area.left() + area.width()) {
      indexes.append(all_indexes[i]);
      positions.append(all_positions[i]);
    }
  }
  QGlyphRun meeting;
  meeting.setRawFont(line_->glyphs.rawFont());
  meeting.setGlyphIndexes(indexes);
  meeting.setPositions(positions);
  painter.drawGlyphRun(line_->origin, meeting);
}

void status_label::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    line_.reset();
    digits_.reset();
  }
  QLabel::changeEvent(event);
}

std::optional<status_label::laid_out_text> status_label::lay_out() const {
  const QString shown = text();
  const bool plain_line =
      alignment() == centred && !wordWrap() && margin() == 0 && frameWidth() == 0 &&
      textFormat() == Qt::PlainText && !shown.isEmpty() && !shown.isRightToLeft() &&
      std::none_of(shown.begin(), shown.end(), [](QChar c) { return c < u' '; });
  if (!plain_line) return std::nullopt;

  QTextLayout layout{shown, font(), this};
  const QTextLine line = lay_out_line(layout);
  const std::optional<QGlyphRun> glyphs = one_glyph_a_character(line, shown.size());
  if (!glyphs) return std::nullopt;

  // Centred in the box as QPainter::drawText centres one line.
  const QRect box = contentsRect();
  laid_out_text laid{shown, box,
                     QPointF{box.x() + (box.width() - line.horizontalAdvance()) / 2,
                             box.y() + (box.height() - (line.ascent() + line.descent())) / 2},
                     *glyphs, {}};
  const QRawFont font = glyphs->rawFont();
  const QList<quint32> indexes = glyphs->glyphIndexes();
  const QList<QPointF> positions = glyphs->positions();
  for (qsizetype i = 0; i < indexes.size(); ++i) {
    const QRectF outline = font.boundingRect(indexes[i]);
    const qreal x = laid.origin.x() + positions[i].x();
    laid.ink.push_back({x + outline.left() - ink_margin, x + outline.right() + ink_margin});
  }
  return laid;
}

std::optional<QRect> status_label::swap_digits(const QString& text) {
  const QString shown = this->text();
  if (!line_ || line_->text != shown || line_->box != contentsRect() ||
      text.size() != shown.size() || !digits().swappable) {
    return std::nullopt;
  }
  const digit_glyphs& digits = *digits_;
  const auto stands_beside_digits = [&text](qsizetype i) {
    return i < 0 || i >= text.size() || beside_digits.contains(text[i]);
  };
  QList<quint32> indexes = line_->glyphs.glyphIndexes();
  const QList<QPointF> positions = line_->glyphs.positions();
  std::vector<ink_span> ink = line_->ink;
  ink_span changed{std::numeric_limits<qreal>::max(), std::numeric_limits<qreal>::lowest()};
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == shown[i]) continue;
    if (!is_digit(text[i]) || !is_digit(shown[i]) || !stands_beside_digits(i - 1) ||
        !stands_beside_digits(i + 1)) {
      return std::nullopt;
    }
    const auto digit = static_cast<std::size_t>(text[i].unicode() - u'0');
    const qreal x = line_->origin.x() + positions[i].x();
    ink_span& glyph_ink = ink[static_cast<std::size_t>(i)];
    changed.left = std::min({changed.left, glyph_ink.left, x + digits.ink[digit].left});
    changed.right = std::max({changed.right, glyph_ink.right, x + digits.ink[digit].right});
    glyph_ink = {x + digits.ink[digit].left, x + digits.ink[digit].right};
    indexes[i] = digits.index[digit];
  }
  line_->text = text;
  line_->glyphs.setGlyphIndexes(indexes);
  line_->ink = std::move(ink);
  return QRectF{QPointF{changed.left, 0}, QPointF{changed.right, qreal(height())}}
             .toAlignedRect()
             .intersected(rect());
}

const status_label::digit_glyphs& status_label::digits() {
  if (digits_) return *digits_;
  digits_ = digit_glyphs{};
  // Every digit beside every character that stands beside digits, on either
  // side, laid out once.
  QString probe;
  for (const QChar beside : beside_digits) {
    for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
      probe += beside;
      probe += QChar{digit};
      probe += beside;
    }
  }
  QTextLayout layout{probe, font(), this};
  const std::optional<QGlyphRun> glyphs = one_glyph_a_character(lay_out_line(layout), probe.size());
  if (!glyphs) return *digits_;

  // Each character must keep one glyph and one advance, and stay on the
  // baseline, wherever it stands.
  const QList<quint32> indexes = glyphs->glyphIndexes();
  const QList<QPointF> positions = glyphs->positions();
  std::map<char16_t, std::pair<quint32, qreal>> seen;
  for (qsizetype i = 0; i + 1 < probe.size(); ++i) {
    const std::pair<quint32, qreal> here{indexes[i], positions[i + 1].x() - positions[i].x()};
    const auto first = seen.try_emplace(probe[i].unicode(), here).first;
    if (first->second != here || positions[i].y() != positions.front().y()) return *digits_;
  }
  const QRawFont font = glyphs->rawFont();
  for (std::size_t digit = 0; digit < 10; ++digit) {
    const auto& [index, advance] = seen.at(static_cast<char16_t>(u'0' + digit));
    if (advance != seen.at(u'0').second) return *digits_;
    const QRectF outline = font.boundingRect(index);
    digits_->index[digit] = index;
    digits_->ink[digit] = {outline.left() - ink_margin, outline.right() + ink_margin};
  }
  digits_->swappable = true;
  return *digits_;
}

}  // namespace vrnskdm::window
