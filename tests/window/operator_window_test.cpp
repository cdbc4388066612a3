// Mouse clicks go through the platform, as a real click does, popups and focus included.
#define QTEST_QPA_MOUSE_HANDLING

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <algorithm>

#include "running_window.h"
#include "support/faulty_files.h"
#include "support/private_x_server.h"
#include "support/scoped_variable.h"
#include "window/application.h"
#include "window/form1.h"

namespace vrnskdm::window {
namespace {

using namespace std::chrono_literals;
using testing::crlf_text;
using testing::running_window;

// Opens the drop-down as the operator does, by its button.
void click_drop_down_button(QComboBox& selector) {
  QTest::mouseClick(&selector, Qt::LeftButton, {},
                    testing::selector_part(selector, QStyle::SC_ComboBoxArrow).center());
}

// Whether the window manager is asked to keep the window over the others.
bool on_top(const form1& form) { return form.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); }

// How often the journal has the line.
long long times(const std::vector<std::string>& journal, const std::string& line) {
  return std::ranges::count(journal, line);
}

// The program on a silent companion, up to its countdown's first tick.
void run_to_the_warning(running_window& w) {
  w.run.write_settings(1, 1, 0);
  w.run.install_companion();
  QVERIFY(w.start());
  w.advance(2s);
  QVERIFY(w.model().form.kept_on_top());
}

// The program started minimized beside a beating companion.
void start_minimized(running_window& w) {
  w.run.write_settings(1, 1, 0);
  w.run.install_companion();
  QVERIFY(w.start());
  w.form().showMinimized();
  QTRY_VERIFY(w.form().isMinimized());
}

// The focus on the period selector, and its next entry chosen there.
QComboBox& choose_next_period(form1& form) {
  QComboBox& selector = form.reboot_time();
  selector.setFocus();
  QTest::keyClick(&selector, Qt::Key_Down);
  return selector;
}

}  // namespace

// The window bound to the running program: what it shows, what the operator's
// edits and actions do, and when the handlers run.
class OperatorWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { set_up_application(*qApp); }

  void theWindowShowsTheStartUpsSettings();
  void theWindowFollowsTheTicksAndFlashesThePanel();
  void theFirstCountdownTickBringsAMinimizedWindowUpOnTopUntilTheOutageEnds();
  void theTimerIsPreciseAndArmedForTheNextTick();
  void theWarningGoesOverEveryWindowWhileADisplayTakesIt();

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

void OperatorWindowTest::theWindowShowsTheStartUpsSettings() {
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

void OperatorWindowTest::theWindowFollowsTheTicksAndFlashesThePanel() {
  running_window w;
  w.run.write_settings(1, 1, 0);
  w.run.install_companion();
  QVERIFY(w.start());
  form1& form = w.form();

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
}

void OperatorWindowTest::theFirstCountdownTickBringsAMinimizedWindowUpOnTopUntilTheOutageEnds() {
  running_window w;
  start_minimized(w);
  w.advance(1s);  // silent: the countdown is armed
  QVERIFY(w.form().isMinimized());
  QVERIFY(!on_top(w.form()));
  w.advance(1s);
  // Once the band's way is known, looked for beside the window: a step later.
  QTRY_VERIFY((w.advance(1s), !w.form().isMinimized()));
  QVERIFY(w.form().isVisible());
  QVERIFY(on_top(w.form()));
  QTRY_VERIFY(w.form().isActiveWindow());

  w.run.beat();
  w.advance(1s);
  QVERIFY(!on_top(w.form()));
  QVERIFY(w.form().isVisible());
}

// The band over every window takes the first display that answers, told once
// a run; a display that refuses, or goes, leaves the countdown to go on.
void OperatorWindowTest::theWarningGoesOverEveryWindowWhileADisplayTakesIt() {
  const std::string ended =
      "the warning's band over every window has ended, its display went away or refused: the "
      "warning shows in the window only";
  {
    const testing::scoped_variable wayland{"WAYLAND_DISPLAY", "vrnskdm-no-compositor"};
    const testing::scoped_variable x{"DISPLAY", testing::private_x_server::nowhere()};
    running_window w;
    run_to_the_warning(w);
    const std::string none = "no overlay route: the warning shows in the window only";
    QTRY_COMPARE((w.advance(1s), times(w.run.journal.messages, none)), 1);
    const double countdown = w.state().countdown;
    w.advance(3s);
    QCOMPARE(times(w.run.journal.messages, none), 1);
    QCOMPARE(w.state().countdown, countdown - 3);
    QCOMPARE(times(w.run.journal.warnings, ended), 0);
  }
  {
    // A server that hangs holds neither the countdown nor, past a couple of
    // seconds, the window's coming up.
    testing::private_x_server hung;
    hung.freeze();
    const testing::scoped_variable x{"DISPLAY", hung.display()};
    running_window w;
    start_minimized(w);
    w.advance(5s);
    QCOMPARE(w.state().countdown, 176.0);
    QVERIFY(w.form().isMinimized());
    QTRY_VERIFY_WITH_TIMEOUT((w.advance(1s), !w.form().isMinimized()), 10000);
  }
  testing::private_x_server server;
  const testing::scoped_variable x{"DISPLAY", server.display()};
  running_window w;
  run_to_the_warning(w);
  const std::string route =
      "the warning is shown over every window through the X11 override-redirect window";
  QTRY_COMPARE((w.advance(1s), times(w.run.journal.messages, route)), 1);
  server.end();
  const double countdown = w.state().countdown;
  w.advance(3s);
  QCOMPARE(times(w.run.journal.warnings, ended), 1);
  QCOMPARE(w.state().countdown, countdown - 3);
  QCOMPARE(times(w.run.journal.messages, route), 1);
}

void OperatorWindowTest::theTimerIsPreciseAndArmedForTheNextTick() {
  running_window w;
  w.run.write_settings(1, 1, 0);
  w.run.install_companion();
  QVERIFY(w.start());
  const QTimer& timer = w.window.ticks().timer();
  QCOMPARE(timer.timerType(), Qt::PreciseTimer);
  QVERIFY(timer.isSingleShot());
  QVERIFY(timer.isActive());
  QCOMPARE(timer.interval(), 1000);

  w.advance(1s);  // silent: the countdown's first tick is due a second later
  w.run.clock.advance(400ms);
  w.window.ticks().arm();
  QCOMPARE(timer.interval(), 600);
  // Both timers fall due together; one batch of ticks runs both.
  w.advance(600ms);
  QCOMPARE(w.state().countdown, 179.0);
  QVERIFY(w.run.watchdog.next_due() == w.run.clock.monotonic() + 1000ms);
}

void OperatorWindowTest::theOperatorsEditsReachTheModel() {
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

void OperatorWindowTest::aClickOnACheckBoxNeverGraysIt() {
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

void OperatorWindowTest::choosingSevenDaysAndClickingSaveSavesPeriodThree() {
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

void OperatorWindowTest::aGrayedCheckBoxIsSavedAsTwo() {
  running_window w;
  w.run.dir.write("vrnskdm.ini",
                  crlf_text({"telvnor_path=/g", "Reboot=1", "Reboot24=2", "Reboot24_v=4"}));
  QVERIFY(w.start());
  QTest::mouseClick(&w.form().save(), Qt::LeftButton);
  QCOMPARE(w.settings(), crlf_text({"telvnor_path=/g", "Reboot=1", "Reboot24=2", "Reboot24_v=4"}));
}

void OperatorWindowTest::anEmptyFolderIsSavedEmpty() {
  running_window w;
  QVERIFY(w.start());
  w.form().path().setFocus();
  w.form().path().selectAll();
  QTest::keyClick(&w.form().path(), Qt::Key_Delete);
  QTest::mouseClick(&w.form().save(), Qt::LeftButton);
  QCOMPARE(w.settings(), crlf_text({"telvnor_path=", "Reboot=1", "Reboot24=1", "Reboot24_v=0"}));
  QCOMPARE(w.state().companion_dir, std::string{});
}

void OperatorWindowTest::typedTextNamingNoEntryShowsThePeriodInUseAgain() {
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

void OperatorWindowTest::enterNeverAddsAnEntry() {
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

void OperatorWindowTest::validationFollowsTheFocusToAnotherControl_data() {
  QTest::addColumn<QString>("move");
  QTest::newRow("Tab") << "tab";
  QTest::newRow("Shift+Tab") << "backtab";
  QTest::newRow("a click on the folder") << "click path";
  QTest::newRow("a click on a check box") << "click reboot24";
  QTest::newRow("a click on SAVE") << "click save";
}

// The period chosen acts only once the focus has moved on to another control.
void OperatorWindowTest::validationFollowsTheFocusToAnotherControl() {
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

void OperatorWindowTest::noValidationWhenTheWindowLosesTheFocus() {
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
  // Then that application has the keyboard and none of these windows is active.
  elsewhere.hide();
  QTRY_VERIFY(!QApplication::activeWindow());
  w.form().activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w.form()));
  QTRY_COMPARE(QApplication::focusWidget(), &selector);
  QCOMPARE(w.state().period_index, 0);

  QTest::keyClick(&selector, Qt::Key_Tab);
  QCOMPARE(w.state().period_index, 1);
}

void OperatorWindowTest::noValidationWhenTheDropDownOpensAndCloses() {
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

void OperatorWindowTest::aFailedSaveShowsInTheWindowUntilASaveSucceeds() {
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

void OperatorWindowTest::noHandlerRunsBeforeTheStartUpHasFinished() {
  testing::scratch_dir dir;
  platform::posix_files files;
  testing::simulated_clock clock{testing::default_start()};
  form1* form = nullptr;
  watching_pump events{clock, form};
  testing::recording_restarter restart{clock};
  testing::recording_process process;
  supervision::watchdog watchdog{platform::services{files, clock, events, restart, process},
                                supervision::build::shipped};
  operator_window window{watchdog};
  form = &window.form();

  window.start();
  QVERIFY(events.pumps > 100);
  QCOMPARE(events.seen_shown, 0);
  QVERIFY(window.form().isVisible());
  QVERIFY(!dir.exists("vrnskdm.ini"));
  QCOMPARE(watchdog.supervisor().window.reboot.value(), 1);
  QCOMPARE(window.form().reboot().checkState(), Qt::Checked);
  QCOMPARE(window.form().checking().text(), QString{"Checking"});
}

void OperatorWindowTest::closingTheWindowEndsTheProgramSavingNothing() {
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

QTEST_MAIN(vrnskdm::window::OperatorWindowTest)
#include "operator_window_test.moc"
