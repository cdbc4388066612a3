#pragma once

// The status lines, which the ticks rewrite every second: labels that show
// what QLabel shows, for a fraction of the work.

#include <QGlyphRun>
#include <QLabel>
#include <QRect>
#include <array>
#include <optional>
#include <vector>

namespace vrnskdm::window {

// A label whose text the ticks rewrite while it is on screen: the status line,
// the restart time and the warning's countdown. It shows exactly what a
// centred one-line QLabel with the same text shows, but keeps the glyphs of
// its text laid out, where QLabel lays the text out again at every repaint.
// A new text that differs from the last only in digits (a new time, a new
// count) has those digits' glyphs swapped in place, and only they are
// repainted: no shaping, no drawing of the glyphs that stayed. The label fills
// its own background, so nothing behind it is repainted either.
class status_label final : public QLabel {
 public:
  status_label(const QString& text, QWidget* parent);

  // Shows the text, as QLabel::setText does. A text that differs only in
  // swappable digits is repainted at once, and only where glyphs changed:
  // within the tick, without posting an update to the event loop.
  void show_text(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Where a glyph leaves ink, from its left to its right edge.
  struct ink_span {
    qreal left = 0;
    qreal right = 0;
  };

  // The text laid out as QPainter::drawText lays it out for the label: one
  // glyph for each character.
  struct laid_out_text {
    QString text;
    QRect box;
    QPointF origin;
    QGlyphRun glyphs;
    std::vector<ink_span> ink;  // counted from the label's left edge
  };

  // The digits' glyphs in the label's font, and whether they may be swapped in
  // place: whether each digit has one glyph and every digit the same advance
  // wherever it stands among digits and the separators of times and dates.
  struct digit_glyphs {
    bool swappable = false;
    std::array<quint32, 10> index{};
    std::array<ink_span, 10> ink{};  // counted from the glyph's origin
  };

  // The text laid out, or nothing where QLabel must draw it itself: a text
  // other than one line in one font, or a label not set up as a status line.
  std::optional<laid_out_text> lay_out() const;
  // The area a new text changes when it differs only in swappable digits, the
  // glyphs swapped; nothing otherwise, the glyphs as they were.
  std::optional<QRect> swap_digits(const QString& text);
  const digit_glyphs& digits();

  std::optional<laid_out_text> line_;
  std::optional<digit_glyphs> digits_;
};

}  // namespace vrnskdm::window
