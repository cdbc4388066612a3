#include "model_binding.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>

#include "form1.h"

namespace vrnskdm::window {

namespace {

QString shown_text(const std::string& text) { return QString::fromStdString(text); }
std::string model_text(const QString& text) { return text.toStdString(); }

// Only a control switched the other way is switched: a label inside a disabled
// panel is not enabled itself, and must not be taken for switched off.
void show_enabled(QWidget& control, bool enabled) {
  if (control.testAttribute(Qt::WA_ForceDisabled) == enabled) control.setEnabled(enabled);
}

void show_label(status_label& label, const supervision::label_control& model) {
  label.show_text(shown_text(model.caption));
  show_enabled(label, model.enabled);
}

void show_check_box(operator_check_box& box, const supervision::check_box_control& model) {
  const Qt::CheckState state = check_state_of(model.value());
  if (box.checkState() != state) box.setCheckState(state);
}

void show_text_box(QLineEdit& box, const supervision::text_box_control& model) {
  const QString text = shown_text(model.text);
  if (box.text() != text) box.setText(text);
}

void show_button(QPushButton& button, const supervision::button_control& model) {
  const QString text = shown_text(model.caption);
  if (button.text() != text) button.setText(text);
}

bool on_wayland() { return QGuiApplication::platformName().startsWith(QLatin1String{"wayland"}); }

// Restores the window when minimized, shows it and brings it over the others.
// On X11 the window is raised, and given the keyboard unless the warning's band
// is over every window: then the program in front keeps the keyboard, and i3,
// which takes a program out of fullscreen when another window of its workspace
// is activated, leaves it fullscreen under the band. A Wayland client can do
// neither (raising does nothing, and activating needs a token from a program
// the user is using), but a window hidden and shown again is a new window to
// the compositor, which puts it on top: GNOME's mutter, KWin, weston and most
// others do, sway does not over a window that fills the screen.
void bring_up(QWidget& window, bool band_over_all) {
  if (on_wayland()) {
    window.hide();
    window.showNormal();
    return;
  }
  window.showNormal();
  window.raise();
  if (!band_over_all) window.activateWindow();
}

// Keeps the window over the other windows (the "above" state of X11's window
// managers, also over a window that fills the screen in most of them), or gives
// it back its ordinary place. Wayland has no such request: there it changes
// nothing.
void keep_on_top(QWidget& window, bool on) {
  if (on_wayland()) return;
  // Set on the native window, which a shown window's window manager is asked to
  // change in place. The widget's own setWindowFlag would give it a new native
  // window, hidden, and a window shown again that way is no longer the
  // application's active window, although it has the keyboard.
  window.winId();  // the native window, made now where there is none yet
  window.windowHandle()->setFlag(Qt::WindowStaysOnTopHint, on);
}

}  // namespace

model_binding::model_binding(form1& form, supervision::window_model& model,
                             platform::journal* journal)
    : form_{form},
      model_{model},
      raise_requests_shown_{model.form.raise_requests()},
      kept_on_top_shown_{model.form.kept_on_top()},
      overlay_{journal} {}

void model_binding::show_model() {
  show_label(form_.checking(), model_.checking);
  show_label(form_.deleteme(), model_.deleteme);
  show_label(form_.warning(), model_.warning);
  show_panel();
  show_text_box(form_.path(), model_.path);
  show_check_box(form_.reboot(), model_.reboot);
  show_check_box(form_.reboot24(), model_.reboot24);
  show_selector();
  show_button(form_.save(), model_.save);
  bring_up_when_asked();
  overlay_.show_model(model_);
}

void model_binding::show_panel() {
  QFrame& panel = form_.sfondo();
  const supervision::panel_control& model = model_.sfondo;
  if (panel.isVisibleTo(&form_) != model.visible) panel.setVisible(model.visible);
  show_enabled(panel, model.enabled);
  if (back_color_shown_ == model.back_color) return;
  back_color_shown_ = model.back_color;
  if (model.back_color) {
    QPalette colours = panel.palette();
    colours.setColor(QPalette::Window, design_colour(*model.back_color));
    panel.setPalette(colours);
  } else {
    // The system's window colours, and whatever they become.
    panel.setPalette(QPalette{});
  }
}

void model_binding::show_selector() {
  QComboBox& selector = form_.reboot_time();
  const supervision::combo_box_control& model = model_.reboot_time;

  // Only this binding fills the list (typed text never becomes an entry), so
  // what it last put there is what the list holds; asking the list itself for
  // every entry at every tick would cost more than the rest of the tick's logic.
  if (entries_shown_ != model.items()) {
    selector.clear();
    for (const std::string& item : model.items()) selector.addItem(shown_text(item));
    entries_shown_ = model.items();
  }

  // Moving the selection rewrites the text field; where the text stays what the
  // operator typed, the caret stays where it was.
  const QString text = shown_text(model.text());
  QLineEdit& field = *selector.lineEdit();
  const bool same_text = selector.currentText() == text;
  const int caret = field.cursorPosition();
  if (selector.currentIndex() != model.list_index()) selector.setCurrentIndex(model.list_index());
  if (selector.currentText() != text) selector.setEditText(text);
  if (same_text && field.cursorPosition() != caret) field.setCursorPosition(caret);
}

void model_binding::bring_up_when_asked() {
  if (model_.form.kept_on_top() != kept_on_top_shown_) {
    kept_on_top_shown_ = model_.form.kept_on_top();
    keep_on_top(form_, kept_on_top_shown_);
  }
  const std::uint64_t requests = model_.form.raise_requests();
  if (requests == raise_requests_shown_) return;
  // Where the band may yet come, activating the window could take the program
  // underneath out of fullscreen: the window comes up once that is known.
  const std::optional<bool> band_over_all = overlay_.covers(model_);
  if (!band_over_all) return;
  raise_requests_shown_ = requests;
  bring_up(form_, *band_over_all);
}

void model_binding::take_edits() {
  QObject::connect(&form_.path(), &QLineEdit::textEdited, &form_,
                   [this](const QString& text) { model_.path.text = model_text(text); });
  QObject::connect(&form_.reboot(), &operator_check_box::toggle_requested, &form_, [this] {
    model_.reboot.click();
    show_model();
  });
  QObject::connect(&form_.reboot24(), &operator_check_box::toggle_requested, &form_, [this] {
    model_.reboot24.click();
    show_model();
  });
  QComboBox& selector = form_.reboot_time();
  QObject::connect(&selector, &QComboBox::activated, &form_, [this](int index) {
    model_.reboot_time.set_list_index(index);
    show_model();
  });
  QObject::connect(selector.lineEdit(), &QLineEdit::textEdited, &form_, [this](const QString& text) {
    model_.reboot_time.type_text(model_text(text));
    show_model();
  });
}

}  // namespace vrnskdm::window
