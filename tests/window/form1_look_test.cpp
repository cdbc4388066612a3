#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QTest>

#include "running_window.h"
#include "window/application.h"
#include "window/form1.h"
#include "window/warning_overlay.h"

namespace vrnskdm::window {
namespace {

using namespace std::chrono_literals;
using testing::running_window;
using testing::selector_part;

QString text_of(const QWidget& control) {
  if (const auto* label = qobject_cast<const QLabel*>(&control)) return label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) return button->text();
  if (const auto* box = qobject_cast<const QLineEdit*>(&control)) return box->text();
  if (const auto* selector = qobject_cast<const QComboBox*>(&control)) {
    return selector->currentText();
  }
  return {};
}

// Room a control's text has, by the style's own measure of its frame and box.
int room_for_text(const QWidget& control) {
  if (const auto* box = qobject_cast<const QCheckBox*>(&control)) {
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    return box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
  }
  if (qobject_cast<const QPushButton*>(&control) != nullptr) {
    const QStyle& style = *control.style();
    return control.width() - 2 * style.pixelMetric(QStyle::PM_ButtonMargin) -
           2 * style.pixelMetric(QStyle::PM_DefaultFrameWidth);
  }
  return control.contentsRect().width();
}

QImage comparable(const QPixmap& picture) {
  return picture.toImage().convertToFormat(QImage::Format_RGB32);
}

// What the window shows: the pixels its repaints left, as they reached the screen.
QImage on_screen(const form1& form) {
  QApplication::processEvents();
  return comparable(form.screen()->grabWindow(form.winId()));
}

// A label's text drawn the plain way, by a label of its own with the same text,
// font, colours and state.
QImage drawn_plainly(const QLabel& shown) {
  QLabel plain{shown.text()};
  plain.setFont(shown.font());
  // All of its colours, those it takes from its parent included.
  QPalette colours = shown.palette();
  colours.setResolveMask(~QPalette::ResolveMask{});
  plain.setPalette(colours);
  plain.setAlignment(shown.alignment());
  plain.setEnabled(shown.isEnabled());
  plain.resize(shown.size());
  return comparable(plain.grab());
}

QFont large_serif() {
  QFont font{"DejaVu Serif"};
  font.setPixelSize(64);
  return font;
}

}  // namespace

// The window's look: places, sizes, texts, fonts and the order of the focus.
class Form1LookTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { set_up_application(*qApp); }

  // Each control sits where the design puts it, at fifteen twips to the pixel,
  // with its design text and alignment.
  void controlsTakeTheirDesignPlaces_data();
  void controlsTakeTheirDesignPlaces();
  void theWindowIsASmallFixedUtilityWindow();
  // The icon is drawn afresh at each size it offers: the screen's rounded corners
  // stay see-through and the warning panel's red and green run along its foot.
  void theIconIsDrawnAtEachSize();
  // The period selector is a drop-down list with a text field, and its list
  // window is built only when first opened, not kept from the start.
  void theSelectorIsADropDownWithATextField();
  void textsUseTheDesignFontsOrTheirStandIn();
  // No text the program shows is cut off by its control.
  void everyTextFitsItsControl();
  // The warning's band keeps its whole text inside, on a narrow monitor too,
  // as large as the band's height or width lets it be.
  void theBandsTextFitsEveryMonitor_data();
  void theBandsTextFitsEveryMonitor();
  void tabVisitsTheControlsInDesignOrder();
  // Whatever a tick changed, the window shows just what the same window drawn
  // afresh shows, and its changing texts just what plain labels show: a
  // repaint that saves work never shows something else.
  void afterEachTickTheWindowLooksAsDrawnAfresh_data();
  void afterEachTickTheWindowLooksAsDrawnAfresh();
};

void Form1LookTest::controlsTakeTheirDesignPlaces_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QRect>("place");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("alignment");
  constexpr int centred = Qt::AlignHCenter | Qt::AlignVCenter;
  constexpr int left = Qt::AlignLeft | Qt::AlignVCenter;
  constexpr int none = 0;
  QTest::newRow("checking") << "checking" << QRect{10, 8, 407, 17} << "Checking" << centred;
  QTest::newRow("reboot") << "reboot" << QRect{248, 82, 165, 21} << "Reboot On TELVANORE Lock"
                          << none;
  QTest::newRow("sfondo") << "sfondo" << QRect{12, 108, 403, 31} << "" << none;
  QTest::newRow("warning") << "warning" << QRect{10, 6, 383, 21} << "Label2" << centred;
  QTest::newRow("path") << "path" << QRect{8, 72, 151, 23} << "Text1" << none;
  QTest::newRow("Label2") << "Label2" << QRect{10, 52, 106, 15} << "TELVANORE path" << left;
  QTest::newRow("deleteme") << "deleteme" << QRect{10, 30, 407, 17} << "" << centred;
  QTest::newRow("reboot24") << "reboot24" << QRect{248, 54, 91, 19} << "Reboot each" << none;
  QTest::newRow("save") << "save" << QRect{166, 72, 67, 23} << "SAVE" << none;
  QTest::newRow("reboot_time") << "reboot_time" << QRect{338, 52, 79, 21} << "" << none;
}

void Form1LookTest::controlsTakeTheirDesignPlaces() {
  QFETCH(QString, name);
  QFETCH(QRect, place);
  QFETCH(QString, text);
  QFETCH(int, alignment);
  form1 form;
  auto* control = form.findChild<QWidget*>(name);
  QVERIFY(control != nullptr);
  QRect shown = control->geometry();
  if (control == &form.warning()) {
    // Inside the panel, counted from within its border.
    QCOMPARE(control->parentWidget(), &form.sfondo());
    shown.translate(-form.sfondo().contentsRect().topLeft());
  } else {
    QCOMPARE(control->parentWidget(), &form);
  }
  QCOMPARE(shown, place);
  QCOMPARE(text_of(*control), text);
  if (const auto* label = qobject_cast<QLabel*>(control)) {
    QCOMPARE(static_cast<int>(label->alignment()), alignment);
  }
}

void Form1LookTest::theWindowIsASmallFixedUtilityWindow() {
  form1 form;
  QCOMPARE(form.objectName(), QString{"Form1"});
  QCOMPARE(form.windowTitle(), QString{"VARNISKELDAM V.01.00"});
  QCOMPARE(form.size(), QSize(424, 144));
  QCOMPARE(form.minimumSize(), form.maximumSize());
  QVERIFY(!form.windowIcon().pixmap(32, 32).isNull());
  QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
  QCOMPARE(form.reboot24().checkState(), Qt::Unchecked);
  QCOMPARE(form.sfondo().palette().color(QPalette::Window),
           form.palette().color(QPalette::Window));
  QCOMPARE(QApplication::applicationName(), QString{"vrnskdm"});
  QCOMPARE(QApplication::applicationVersion(), QString{"1.00"});
  // Nothing is ever drawn in the system's default font, so it is never loaded.
  QCOMPARE(QApplication::font(), design_font(design_points));
}

void Form1LookTest::theIconIsDrawnAtEachSize() {
  const QIcon icon = form1{}.windowIcon();
  const QList<QSize> sizes = icon.availableSizes();
  QCOMPARE(sizes.size(), 7);
  for (const QSize& size : sizes) {
    const QImage image = icon.pixmap(size).toImage();
    QCOMPARE(image.size(), size);
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(image.pixelColor(size.width() - 1, 0).alpha(), 0);
    const int foot = size.height() * 27 / 32;
    QCOMPARE(image.pixelColor(size.width() / 4, foot), QColor(0xff, 0x01, 0x01));
    QCOMPARE(image.pixelColor(size.width() * 3 / 4, foot), QColor(0x00, 0xff, 0x01));
  }
}

void Form1LookTest::theSelectorIsADropDownWithATextField() {
  form1 form;
  QComboBox& selector = form.reboot_time();
  QVERIFY(selector.isEditable());
  QCOMPARE(selector.insertPolicy(), QComboBox::NoInsert);
  QCOMPARE(selector.completer(), nullptr);
  QVERIFY(selector.findChildren<QAbstractItemView*>().isEmpty());
  selector.addItem("24 Hours");
  selector.showPopup();
  QTRY_VERIFY(selector.view()->isVisible());
  QCOMPARE(selector.view()->model()->rowCount(), 1);
  selector.hidePopup();
}

void Form1LookTest::textsUseTheDesignFontsOrTheirStandIn() {
  form1 form;
  QCOMPARE(form.font().family(), QString{"MS Sans Serif"});
  QVERIFY(QFontInfo{form.font()}.family().startsWith("Nimbus Sans"));
  for (const QWidget* control : std::initializer_list<const QWidget*>{
           &form.checking(), &form.reboot(), &form.path(), &form.label2(), &form.deleteme(),
           &form.reboot24(), &form.save(), &form.reboot_time()}) {
    QCOMPARE(control->font().pointSizeF(), 8.0);
  }
  QCOMPARE(form.warning().font().pointSizeF(), 9.75);
  QVERIFY(QFontInfo{form.warning().font()}.family().startsWith("Nimbus Sans"));
  QCOMPARE(form.warning().font().weight(), QFont::Normal);
}

void Form1LookTest::everyTextFitsItsControl() {
  form1 form;
  const std::pair<const QWidget*, QStringList> texts[] = {
      {&form.checking(),
       {"TELVANORE alive at: 2026/12/28 23:59:58",
        " TELVANORE seems to be died at: 2026/12/28 23:59:58",
        "TELVANORE seems to be not installed.", "VARNISKELDAM Unable to REBOOT!"}},
      {&form.deleteme(),
       {"System will reboot at: 2026/12/28 23:59:58", "Timeout Reboot disabled."}},
      {&form.warning(), {"WARNING! SYSTEM REBOOT IN 180 SECONDS!"}},
      {&form.label2(), {"TELVANORE path"}},
      {&form.reboot(), {"Reboot On TELVANORE Lock"}},
      {&form.reboot24(), {"Reboot each"}},
      {&form.save(), {"SAVE", "UNSAVED"}},
  };
  for (const auto& [control, lines] : texts) {
    const QFontMetrics metrics{control->font()};
    for (const QString& line : lines) {
      QVERIFY2(metrics.horizontalAdvance(line) <= room_for_text(*control),
               qPrintable(control->objectName() + ": " + line));
      QVERIFY2(metrics.tightBoundingRect(line).height() <= control->contentsRect().height(),
               qPrintable(control->objectName() + ": " + line));
    }
  }
  // The selector's text field lies left of its drop-down button.
  QComboBox& selector = form.reboot_time();
  const int field = selector_part(selector, QStyle::SC_ComboBoxEditField).width();
  for (const char* label : {"24 Hours", "2 Days", "4 Days", "7 Days", "10 Days", "14 Days",
                            "15 Days", "30 Days"}) {
    QVERIFY2(QFontMetrics{selector.font()}.horizontalAdvance(label) < field, label);
  }
}

void Form1LookTest::theBandsTextFitsEveryMonitor_data() {
  QTest::addColumn<QSize>("monitor");
  QTest::newRow("narrow") << QSize{320, 240};
  QTest::newRow("portrait") << QSize{480, 800};
  QTest::newRow("tall and narrow") << QSize{200, 2000};
  QTest::newRow("VGA") << QSize{640, 480};
  QTest::newRow("full HD") << QSize{1920, 1080};
  QTest::newRow("2880x1800") << QSize{2880, 1800};
  QTest::newRow("two screens wide") << QSize{3840, 1080};
}

void Form1LookTest::theBandsTextFitsEveryMonitor() {
  QFETCH(QSize, monitor);
  const QColor red{0xff, 0x01, 0x01};
  for (const char* text :
       {"WARNING! SYSTEM REBOOT IN 180 SECONDS!", "WARNING! SYSTEM REBOOT IN 29 SECONDS!"}) {
    const QImage band = warning_band({0, 0, monitor.width(), monitor.height()}, red, text);
    QCOMPARE(band.size(), QSize(monitor.width(), monitor.height() / 8));
    // Where the text's ink is: the pixels not of the band's colour.
    QRect ink;
    for (int y = 0; y < band.height(); ++y) {
      for (int x = 0; x < band.width(); ++x) {
        if (band.pixelColor(x, y) != red) ink |= QRect{x, y, 1, 1};
      }
    }
    const int margin = band.width() / 50;
    QVERIFY2(ink.left() >= margin && ink.right() < band.width() - margin, text);
    QVERIFY2(ink.top() > 0 && ink.bottom() < band.height() - 1, text);
    QVERIFY2(ink.width() >= band.width() / 2 || ink.height() >= band.height() / 3, text);
  }
}

void Form1LookTest::tabVisitsTheControlsInDesignOrder() {
  running_window w;
  QVERIFY(w.start());
  form1& form = w.form();
  QTRY_COMPARE(QApplication::focusWidget(), &form.reboot());
  const QList<QWidget*> order{&form.path(), &form.reboot24(), &form.save(), &form.reboot_time(),
                              &form.reboot()};
  for (QWidget* next : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), next);
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  QCOMPARE(QApplication::focusWidget(), &form.reboot_time());

  // The warning panel takes its turn after "reboot" while it is shown.
  w.run.install_companion();
  w.model().path.text = w.run.companion_dir();
  w.form().save().click();
  w.advance(2s);
  QVERIFY(form.sfondo().isVisible());
  form.reboot().setFocus();
  QTest::keyClick(&form.reboot(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), &form.sfondo());
  QTest::keyClick(&form.sfondo(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), &form.path());
}

void Form1LookTest::afterEachTickTheWindowLooksAsDrawnAfresh_data() {
  QTest::addColumn<QString>("companion");
  QTest::addColumn<int>("skipped_s");
  QTest::addColumn<int>("compared_s");
  // The status line gets room for this font at this step, and the font a tick later.
  QTest::addColumn<QFont>("font");
  QTest::addColumn<int>("font_step");
  // Alive for a minute: every digit of the seconds, and the carries into the
  // tens and the minutes.
  QTest::newRow("alive") << "alive" << 0 << 61 << QFont{} << -1;
  QTest::newRow("silent: the countdown starts") << "silent" << 0 << 4 << QFont{} << -1;
  QTest::newRow("countdown from 100 s to 99 s") << "silent" << 80 << 4 << QFont{} << -1;
  QTest::newRow("countdown in half seconds") << "silent" << 152 << 3 << QFont{} << -1;
  QTest::newRow("silent, then alive again") << "silent, then alive" << 0 << 6 << QFont{} << -1;
  QTest::newRow("not installed") << "not installed" << 0 << 3 << QFont{} << -1;
  // Every digit of the seconds in a large font, where the digits' left edges
  // lie pixels apart, set once digits were swapped in the design's.
  QTest::newRow("alive, then a large serif font") << "alive" << 0 << 13 << large_serif() << 4;
}

void Form1LookTest::afterEachTickTheWindowLooksAsDrawnAfresh() {
  QFETCH(QString, companion);
  QFETCH(int, skipped_s);
  QFETCH(int, compared_s);
  QFETCH(QFont, font);
  QFETCH(int, font_step);
  running_window w;
  w.run.write_settings(1, 1, 0);
  if (companion != "not installed") w.run.install_companion();
  QVERIFY(w.start());
  form1& form = w.form();
  w.advance(std::chrono::seconds{skipped_s});

  const int steps = compared_s * 2;  // the countdown's last half minute ticks every 500 ms
  for (int step = 0; step < steps; ++step) {
    QLabel& line = form.checking();
    if (step == font_step) {
      // Room for the whole line in the new font, below the others, in a window
      // grown to hold it; the font comes a tick later.
      const QFontMetrics metrics{font};
      line.setFixedSize(metrics.horizontalAdvance(line.text()) + metrics.height(), metrics.height());
      line.move(line.x(), form.height());
      form.setFixedSize(std::max(form.width(), line.x() + line.width()), form.height() + line.height());
    }
    if (step == font_step + 2) line.setFont(font);
    if (companion == "alive" || (companion == "silent, then alive" && step >= steps / 2)) {
      w.run.beat();
    }
    w.advance(500ms);
    const QImage shown = on_screen(form);
    QVERIFY2(shown == comparable(form.grab()), qPrintable("at " + form.checking().text()));
    for (const QLabel* label : {&form.checking(), &form.deleteme(), &form.warning()}) {
      if (!label->isVisible()) continue;
      const QImage text = shown.copy(QRect{label->mapTo(&form, QPoint{}), label->size()});
      QVERIFY2(text == drawn_plainly(*label), qPrintable(label->objectName() + ": " + label->text()));
    }
  }
}

}  // namespace vrnskdm::window

QTEST_MAIN(vrnskdm::window::Form1LookTest)
#include "form1_look_test.moc"
