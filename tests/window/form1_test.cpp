// Mouse clicks go through the platform, as a real click does, popups and focus included.
#define QTEST_QPA_MOUSE_HANDLING

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <memory>

#include "support/faulty_files.h"
#include "support/simulated_watchdog.h"
#include "window/application_setup.h"
#include "window/form1.h"
#include "window/operator_check_box.h"
#include "window/operator_window.h"
#include "window_time.h"

namespace vrnskdm::window {
namespace {

using namespace std::chrono_literals;
using testing::crlf_text;
using testing::simulated_watchdog;

constexpr std::int16_t debug = 1;

// The program on simulated time in a scratch folder, with its window.
struct running_window {
  explicit running_window(platform::files* files = nullptr)
      : run{debug, testing::default_start(), files}, window{run.program} {}

  // The start-up, then the window shown and given the keyboard.
  bool start() {
    window.start();
    form().activateWindow();
    return QTest::qWaitForWindowActive(&form());
  }

  form1& form() { return window.form(); }
  supervision::supervisor_state& state() { return run.state(); }
  supervision::window_model& model() { return run.window(); }
  void advance(std::chrono::milliseconds by) { testing::advance_window(run, window, by); }
  std::string settings() const { return run.dir.read("vrnskdm.ini"); }

  simulated_watchdog run;
  operator_window window;
};

QString text_of(const QWidget& control) {
  if (const auto* label = qobject_cast<const QLabel*>(&control)) return label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) return button->text();
  if (const auto* box = qobject_cast<const QLineEdit*>(&control)) return box->text();
  if (const auto* selector = qobject_cast<const QComboBox*>(&control)) {
    return selector->currentText();
  }
  return {};
}

QRect selector_part(const QComboBox& selector, QStyle::SubControl part) {
  QStyleOptionComboBox option;
  option.initFrom(&selector);
  option.editable = selector.isEditable();
  return selector.style()->subControlRect(QStyle::CC_ComboBox, &option, part, &selector);
}

// Opens the drop-down as the operator does, by its button.
void click_drop_down_button(QComboBox& selector) {
  QTest::mouseClick(&selector, Qt::LeftButton, {},
                    selector_part(selector, QStyle::SC_ComboBoxArrow).center());
}

// The focus on the period selector, and its next entry chosen there.
QComboBox& choose_next_period(form1& form) {
  QComboBox& selector = form.reboot_time();
  selector.setFocus();
  QTest::keyClick(&selector, Qt::Key_Down);
  return selector;
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

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { set_up_application(*qApp); }

  // Each control sits where the design puts it, at fifteen twips to the pixel,
  // with its design text and alignment.
  void controlsTakeTheirDesignPlaces_data();
  void controlsTakeTheirDesignPlaces();
  void theWindowIsASmallFixedUtilityWindow();
  void textsUseTheDesignFontsOrTheirStandIn();
  // No text the program shows is cut off by its control.
  void everyTextFitsItsControl();
  void tabVisitsTheControlsInDesignOrder();

  void theWindowShowsTheStartUpsSettings();
  void theWindowFollowsTheTicksAndFlashesThePanel();
  void theFirstCountdownTickBringsAMinimizedWindowUp();
  void theTimerIsPreciseAndArmedForTheNextTick();

  void theOperatorsEditsReachTheModel();
  void aClickOnACheckBoxNeverGraysIt();
  void choosingSevenDaysAndClickingSaveSavesPeriodThree();
  void aGrayedCheckBoxIsSavedAsTwo();
  void anEmptyFolderIsSavedEmpty();
  void typedTextNamingNoEntryShowsThePeriodInUseAgain();
  void enterNeverAddsAnEntry();

  void validationFollowsTheFocusToAnotherControl_data();
  void validationFollowsTheFocusToAnotherControl();
  void noValidationWhenTheWindowLosesTheFocus();
  void noValidationWhenTheDropDownOpensAndCloses();

  void aFailedSaveShowsInTheWindowUntilASaveSucceeds();
  void noHandlerRunsBeforeTheStartUpHasFinished();
  void closingTheWindowEndsTheProgramSavingNothing();
};

void Form1Test::controlsTakeTheirDesignPlaces_data() {
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

void Form1Test::controlsTakeTheirDesignPlaces() {
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

void Form1Test::theWindowIsASmallFixedUtilityWindow() {
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
}

void Form1Test::textsUseTheDesignFontsOrTheirStandIn() {
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

void Form1Test::everyTextFitsItsControl() {
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

void Form1Test::tabVisitsTheControlsInDesignOrder() {
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

void Form1Test::theWindowShowsTheStartUpsSettings() {
  running_window w;
  w.run.dir.write("vrnskdm.ini",
                  crlf_text({"telvnor_path=/opt/tv", "Reboot=2", "Reboot24=0", "Reboot24_v=3"}));
  QVERIFY(w.start());
  QVERIFY(w.form().isVisible());
  QCOMPARE(w.form().path().text(), QString{"/opt/tv"});
  QCOMPARE(w.form().reboot().checkState(), Qt::PartiallyChecked);
  QCOMPARE(w.form().reboot24().checkState(), Qt::Unchecked);
  QCOMPARE(w.form().reboot_time().count(), 8);
  QCOMPARE(w.form().reboot_time().itemText(6), QString{"15 Days"});
  QCOMPARE(w.form().reboot_time().currentIndex(), 3);
  QCOMPARE(w.form().reboot_time().currentText(), QString{"7 Days"});
  QVERIFY(!w.form().sfondo().isVisibleTo(&w.form()));
  QVERIFY(!w.form().warning().isEnabledTo(&w.form().sfondo()));
}

void Form1Test::theWindowFollowsTheTicksAndFlashesThePanel() {
  running_window w;
  w.run.write_settings(1, 1, 0);
  w.run.install_companion();
  QVERIFY(w.start());
  form1& form = w.form();
  const QColor system_window = form.palette().color(QPalette::Window);

  w.run.beat();
  w.advance(1s);
  QCOMPARE(form.checking().text(), QString{"TELVANORE alive at: 2026/03/02 10:30:01"});
  QCOMPARE(form.deleteme().text(), QString{"System will reboot at: 2026/03/03 10:30:00"});

  w.advance(2s);  // silent at 10:30:02; the countdown's first tick at 10:30:03
  QCOMPARE(form.checking().text(), QString{" TELVANORE seems to be died at: 2026/03/02 10:30:03"});
  QVERIFY(form.sfondo().isVisible());
  QVERIFY(form.sfondo().isEnabled());
  QVERIFY(form.warning().isEnabled());
  QCOMPARE(form.warning().text(), QString{"WARNING! SYSTEM REBOOT IN 179 SECONDS!"});
  QCOMPARE(form.sfondo().palette().color(QPalette::Window), QColor(0xFF, 0x01, 0x01));
  w.advance(1s);
  QCOMPARE(form.sfondo().palette().color(QPalette::Window), QColor(0x00, 0xFF, 0x01));
  QCOMPARE(form.warning().text(), QString{"WARNING! SYSTEM REBOOT IN 178 SECONDS!"});

  w.run.beat();
  w.advance(1s);
  QVERIFY(!form.sfondo().isVisible());
  QCOMPARE(form.warning().text(), QString{});
  QVERIFY(system_window != QColor(0xFF, 0x01, 0x01));
}

void Form1Test::theFirstCountdownTickBringsAMinimizedWindowUp() {
  running_window w;
  w.run.write_settings(1, 1, 0);
  w.run.install_companion();
  QVERIFY(w.start());
  w.form().showMinimized();
  QTRY_VERIFY(w.form().isMinimized());
  w.advance(1s);  // silent: the countdown is armed
  QVERIFY(w.form().isMinimized());
  w.advance(1s);
  QVERIFY(!w.form().isMinimized());
  QVERIFY(w.form().isVisible());
  QTRY_VERIFY(w.form().isActiveWindow());
}

void Form1Test::theTimerIsPreciseAndArmedForTheNextTick() {
  running_window w;
  w.run.write_settings(1, 1, 0);
  w.run.install_companion();
  QVERIFY(w.start());
  const QTimer& timer = w.window.ticks().timer();
  QCOMPARE(timer.timerType(), Qt::PreciseTimer);
  QVERIFY(timer.isSingleShot());
  QVERIFY(timer.isActive());
  QVERIFY(timer.remainingTime() > 900 && timer.remainingTime() <= 1000);

  w.advance(1s);  // silent: the countdown's first tick is due a second later
  w.run.clock.advance(400ms);
  w.window.ticks().arm();
  QVERIFY(timer.remainingTime() > 500 && timer.remainingTime() <= 600);
  // Both timers fall due together; one batch of ticks runs both.
  w.advance(600ms);
  QCOMPARE(w.state().countdown, 179.0);
  QVERIFY(w.run.program.next_tick_due() == w.run.clock.monotonic() + 1000ms);
}

void Form1Test::theOperatorsEditsReachTheModel() {
  running_window w;
  QVERIFY(w.start());
  form1& form = w.form();
  form.path().selectAll();
  QTest::keyClicks(&form.path(), "/srv/tv");
  QCOMPARE(w.model().path.text, std::string{"/srv/tv"});
  // An undo is an edit too; a tick must not put back what it undid.
  QTest::keyClick(&form.path(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(w.model().path.text, form.path().text().toStdString());
  w.advance(1s);
  QCOMPARE(form.path().text(), QString::fromStdString(w.model().path.text));
  QCOMPARE(w.state().companion_dir, std::string{"/telvnor"});  // only a save takes it

  QTest::mouseClick(&form.reboot24(), Qt::LeftButton);
  QCOMPARE(w.model().reboot24.value(), 0);
  QTest::keyClick(&form.reboot24(), Qt::Key_Space);
  QCOMPARE(w.model().reboot24.value(), 1);
  QCOMPARE(form.reboot24().checkState(), Qt::Checked);

  form.reboot_time().setFocus();
  QTest::keyClick(&form.reboot_time(), Qt::Key_Down);
  QCOMPARE(w.model().reboot_time.list_index(), 1);
  QCOMPARE(w.state().period_index, 0);  // only validation takes it
}

void Form1Test::aClickOnACheckBoxNeverGraysIt() {
  running_window w;
  w.run.dir.write("vrnskdm.ini",
                  crlf_text({"telvnor_path=/g", "Reboot=2", "Reboot24=0", "Reboot24_v=0"}));
  QVERIFY(w.start());
  operator_check_box& box = w.form().reboot();
  const std::pair<int, Qt::CheckState> after_each_click[] = {
      {1, Qt::Checked}, {0, Qt::Unchecked}, {1, Qt::Checked}, {0, Qt::Unchecked}};
  for (const auto& [value, state] : after_each_click) {
    QTest::mouseClick(&box, Qt::LeftButton);
    QCOMPARE(w.model().reboot.value(), value);
    QCOMPARE(box.checkState(), state);
  }
}

void Form1Test::choosingSevenDaysAndClickingSaveSavesPeriodThree() {
  running_window w;
  QVERIFY(w.start());
  QComboBox& selector = w.form().reboot_time();
  click_drop_down_button(selector);
  QTRY_VERIFY(selector.view()->isVisible());
  QAbstractItemView& list = *selector.view();
  const QRect row = list.visualRect(list.model()->index(3, 0));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row.center());
  QTRY_VERIFY(!list.isVisible());
  QCOMPARE(selector.currentText(), QString{"7 Days"});

  QTest::mouseClick(&w.form().save(), Qt::LeftButton);
  QCOMPARE(w.settings(),
           crlf_text({"telvnor_path=/telvnor", "Reboot=1", "Reboot24=1", "Reboot24_v=3"}));
  QCOMPARE(w.form().save().text(), QString{"SAVE"});
}

void Form1Test::aGrayedCheckBoxIsSavedAsTwo() {
  running_window w;
  w.run.dir.write("vrnskdm.ini",
                  crlf_text({"telvnor_path=/g", "Reboot=1", "Reboot24=2", "Reboot24_v=4"}));
  QVERIFY(w.start());
  QTest::mouseClick(&w.form().save(), Qt::LeftButton);
  QCOMPARE(w.settings(), crlf_text({"telvnor_path=/g", "Reboot=1", "Reboot24=2", "Reboot24_v=4"}));
}

void Form1Test::anEmptyFolderIsSavedEmpty() {
  running_window w;
  QVERIFY(w.start());
  w.form().path().setFocus();
  w.form().path().selectAll();
  QTest::keyClick(&w.form().path(), Qt::Key_Delete);
  QTest::mouseClick(&w.form().save(), Qt::LeftButton);
  QCOMPARE(w.settings(), crlf_text({"telvnor_path=", "Reboot=1", "Reboot24=1", "Reboot24_v=0"}));
  QCOMPARE(w.state().companion_dir, std::string{});
}

void Form1Test::typedTextNamingNoEntryShowsThePeriodInUseAgain() {
  running_window w;
  w.run.write_settings(1, 1, 2);
  QVERIFY(w.start());
  QComboBox& selector = w.form().reboot_time();
  selector.setFocus();
  selector.lineEdit()->selectAll();
  QTest::keyClicks(&selector, "5 Days");
  QCOMPARE(selector.currentText(), QString{"5 Days"});
  QCOMPARE(w.model().reboot_time.list_index(), -1);
  QTest::keyClick(&selector, Qt::Key_Tab);
  QCOMPARE(w.state().period_index, 2);
  QCOMPARE(selector.currentText(), QString{"4 Days"});
  QCOMPARE(selector.currentIndex(), 2);
  w.advance(1s);
  QCOMPARE(w.form().deleteme().text(), QString{"System will reboot at: 2026/03/06 10:30:00"});

  // Text equal to an entry's label selects that entry.
  selector.setFocus();
  selector.lineEdit()->selectAll();
  QTest::keyClicks(&selector, "30 Days");
  QTest::keyClick(&selector, Qt::Key_Tab);
  QCOMPARE(w.state().period_index, 7);
  QCOMPARE(selector.currentIndex(), 7);
}

void Form1Test::enterNeverAddsAnEntry() {
  running_window w;
  QVERIFY(w.start());
  QComboBox& selector = w.form().reboot_time();
  selector.setFocus();
  selector.lineEdit()->selectAll();
  QTest::keyClicks(&selector, "5 Days");
  QTest::keyClick(&selector, Qt::Key_Return);
  QCOMPARE(selector.count(), 8);
  QCOMPARE(w.model().reboot_time.items().size(), 8u);
  QCOMPARE(selector.findText("5 Days"), -1);
}

void Form1Test::validationFollowsTheFocusToAnotherControl_data() {
  QTest::addColumn<QString>("move");
  QTest::newRow("Tab") << "tab";
  QTest::newRow("Shift+Tab") << "backtab";
  QTest::newRow("a click on the folder") << "click path";
  QTest::newRow("a click on a check box") << "click reboot24";
  QTest::newRow("a click on SAVE") << "click save";
}

// The period chosen acts only once the focus has moved on to another control.
void Form1Test::validationFollowsTheFocusToAnotherControl() {
  QFETCH(QString, move);
  running_window w;
  QVERIFY(w.start());
  QComboBox& selector = choose_next_period(w.form());
  QTest::keyClick(&selector, Qt::Key_Down);
  QCOMPARE(w.state().period_index, 0);

  if (move == "tab") {
    QTest::keyClick(&selector, Qt::Key_Tab);
  } else if (move == "backtab") {
    QTest::keyClick(&selector, Qt::Key_Backtab);
  } else {
    auto* target = w.form().findChild<QWidget*>(move.section(' ', 1));
    QTest::mouseClick(target, Qt::LeftButton);
  }
  QVERIFY(QApplication::focusWidget() != &selector);
  QCOMPARE(w.state().period_index, 2);
}

void Form1Test::noValidationWhenTheWindowLosesTheFocus() {
  running_window w;
  QVERIFY(w.start());
  QComboBox& selector = choose_next_period(w.form());

  // Another window takes the keyboard, as another application's would.
  QWidget elsewhere;
  elsewhere.setFocusPolicy(Qt::StrongFocus);
  elsewhere.show();
  elsewhere.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
  elsewhere.setFocus();
  QCOMPARE(QApplication::focusWidget(), &elsewhere);
  QApplication::setActiveWindow(nullptr);
  QTRY_VERIFY(!w.form().isActiveWindow());
  w.form().activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w.form()));
  QTRY_COMPARE(QApplication::focusWidget(), &selector);
  QCOMPARE(w.state().period_index, 0);

  QTest::keyClick(&selector, Qt::Key_Tab);
  QCOMPARE(w.state().period_index, 1);
}

void Form1Test::noValidationWhenTheDropDownOpensAndCloses() {
  running_window w;
  QVERIFY(w.start());
  QComboBox& selector = choose_next_period(w.form());

  selector.showPopup();
  QTRY_VERIFY(selector.view()->isVisible());
  QTest::keyClick(selector.view(), Qt::Key_Down);
  QTest::keyClick(selector.view(), Qt::Key_Return);
  QTRY_VERIFY(!selector.view()->isVisible());
  QTRY_COMPARE(QApplication::focusWidget(), &selector);
  QCOMPARE(selector.currentText(), QString{"4 Days"});
  QCOMPARE(w.state().period_index, 0);

  click_drop_down_button(selector);
  QTRY_VERIFY(selector.view()->isVisible());
  QTest::keyClick(selector.view(), Qt::Key_Escape);
  QTRY_VERIFY(!selector.view()->isVisible());
  QCOMPARE(w.state().period_index, 0);

  QTest::keyClick(&selector, Qt::Key_Tab);
  QCOMPARE(w.state().period_index, 2);
}

void Form1Test::aFailedSaveShowsInTheWindowUntilASaveSucceeds() {
  platform::posix_files real;
  testing::faulty_files files{real};
  running_window w{&files};
  w.run.dir.write("vrnskdm.ini",
                  crlf_text({"telvnor_path=/old", "Reboot=1", "Reboot24=1", "Reboot24_v=0"}));
  QVERIFY(w.start());
  const std::string old_settings = w.settings();
  files.fails = [](testing::file_operation operation, const std::string&) {
    return operation == testing::file_operation::write_line;
  };
  w.form().reboot24().click();
  QTest::mouseClick(&w.form().save(), Qt::LeftButton);
  QCOMPARE(w.form().save().text(), QString{"UNSAVED"});
  QCOMPARE(w.settings(), old_settings);
  QCOMPARE(QApplication::activeModalWidget(), nullptr);
  QCOMPARE(QApplication::topLevelWidgets().count(&w.form()), 1);
  QVERIFY(w.form().isVisible());

  w.advance(1s);
  QCOMPARE(w.form().checking().text(), QString{"TELVANORE seems to be not installed."});
  QCOMPARE(w.form().save().text(), QString{"UNSAVED"});

  files.fails = nullptr;
  QTest::mouseClick(&w.form().save(), Qt::LeftButton);
  QCOMPARE(w.form().save().text(), QString{"SAVE"});
  QCOMPARE(w.settings(), crlf_text({"telvnor_path=/old", "Reboot=1", "Reboot24=0", "Reboot24_v=0"}));
}

namespace {

// During the start-up's wait for the clock, looks at the window at every pump
// and pokes at it as an operator might.
class watching_pump final : public platform::event_pump {
 public:
  watching_pump(testing::simulated_clock& clock, form1*& form) : clock_{clock}, form_{form} {}
  void pump_events() override {
    ++pumps;
    if (form_->isVisible()) ++seen_shown;
    form_->save().click();
    form_->reboot().click();
    QCoreApplication::processEvents();
    clock_.advance(50ms);
  }
  int pumps = 0;
  int seen_shown = 0;

 private:
  testing::simulated_clock& clock_;
  form1*& form_;
};

}  // namespace

void Form1Test::noHandlerRunsBeforeTheStartUpHasFinished() {
  testing::scratch_dir dir;
  platform::posix_files files;
  testing::simulated_clock clock{testing::default_start()};
  form1* form = nullptr;
  watching_pump events{clock, form};
  testing::recording_restarter restart{clock};
  testing::recording_process process;
  supervision::watchdog program{platform::services{files, clock, events, restart, process}, 0};
  operator_window window{program};
  form = &window.form();

  window.start();
  QVERIFY(events.pumps > 100);
  QCOMPARE(events.seen_shown, 0);
  QVERIFY(window.form().isVisible());
  QVERIFY(!dir.exists("vrnskdm.ini"));
  QCOMPARE(program.parts().window.reboot.value(), 1);
  QCOMPARE(window.form().reboot().checkState(), Qt::Checked);
  QCOMPARE(window.form().checking().text(), QString{"Checking"});
}

void Form1Test::closingTheWindowEndsTheProgramSavingNothing() {
  running_window w;
  QVERIFY(w.start());
  w.advance(1s);
  const std::string log = w.run.dir.read("report.log");
  QTest::keyClicks(&w.form().path(), "/unsaved");
  constexpr int still_running = 1;
  QTimer::singleShot(0, &w.form(), [&w] { w.form().close(); });
  QTimer::singleShot(5000, qApp, [] { QApplication::exit(still_running); });
  QCOMPARE(QApplication::exec(), 0);
  QVERIFY(!w.run.dir.exists("vrnskdm.ini"));
  QCOMPARE(w.run.dir.read("report.log"), log);
}

}  // namespace vrnskdm::window

QTEST_MAIN(vrnskdm::window::Form1Test)
#include "form1_test.moc"
