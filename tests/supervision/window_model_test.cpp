#include "supervision/window_model.h"

#include <gtest/gtest.h>

namespace vrnskdm::supervision {
namespace {

TEST(CheckBox, TakesOnlyZeroOneOrTwo) {
  check_box_control box{1};
  EXPECT_TRUE(box.set_value(2));
  EXPECT_EQ(box.value(), 2);
  for (const int refused : {3, -1, 32767, -32768}) {
    EXPECT_FALSE(box.set_value(refused));
    EXPECT_EQ(box.value(), 2);
  }
  EXPECT_TRUE(box.set_value(0));
  EXPECT_EQ(box.value(), 0);
}

TEST(CheckBox, AClickTogglesAndChecksAGrayedBox) {
  check_box_control box{0};
  box.click();
  EXPECT_EQ(box.value(), 1);
  box.click();
  EXPECT_EQ(box.value(), 0);
  box.set_value(2);
  box.click();
  EXPECT_EQ(box.value(), 1);
}

TEST(ComboBox, TakesAnIndexFromMinusOneToTheLastEntry) {
  combo_box_control combo;
  EXPECT_FALSE(combo.set_list_index(0));  // nothing to select yet
  combo.add_item("24 Hours");
  combo.add_item("2 Days");
  EXPECT_TRUE(combo.set_list_index(1));
  EXPECT_EQ(combo.text(), "2 Days");
  EXPECT_FALSE(combo.set_list_index(2));
  EXPECT_FALSE(combo.set_list_index(-2));
  EXPECT_EQ(combo.list_index(), 1);
  EXPECT_TRUE(combo.set_list_index(-1));
  EXPECT_EQ(combo.text(), "");
}

TEST(ComboBox, TypingSelectsTheEntryOfExactlyThatLabel) {
  combo_box_control combo;
  combo.add_item("24 Hours");
  combo.add_item("2 Days");
  combo.type_text("2 Days");
  EXPECT_EQ(combo.list_index(), 1);
  combo.type_text("2 days");
  EXPECT_EQ(combo.list_index(), -1);
  EXPECT_EQ(combo.text(), "2 days");
}

TEST(Timer, TheScheduleStartsAfreshOnlyWhenSwitchedOnOrResetWhileOn) {
  timer_control timer;
  const auto initial = timer.schedule_epoch();
  timer.set_interval(1000);  // off: nothing to reset
  EXPECT_EQ(timer.schedule_epoch(), initial);
  timer.set_enabled(true);
  const auto on = timer.schedule_epoch();
  EXPECT_NE(on, initial);
  timer.set_enabled(true);
  EXPECT_EQ(timer.schedule_epoch(), on);
  timer.set_interval(1000);
  EXPECT_NE(timer.schedule_epoch(), on);
}

}  // namespace
}  // namespace vrnskdm::supervision
