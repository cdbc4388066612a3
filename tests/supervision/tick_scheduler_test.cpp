#include "supervision/tick_scheduler.h"

#include <gtest/gtest.h>

#include <vector>

namespace vrnskdm::supervision {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// The scheduler with a window whose timers the test switches as handlers would.
class TickScheduler : public ::testing::Test {
 protected:
  void follow(milliseconds at) { scheduler.follow(window, at, at); }

  // Runs the next tick at its due time, with the handler's doing.
  due_tick tick(const std::function<void()>& handler = [] {}) {
    const due_tick next = *scheduler.next();
    handler();
    scheduler.ticked(window, next, next.due);
    return next;
  }

  window_model window;
  tick_scheduler scheduler;
};

TEST_F(TickScheduler, TheFirstTickComesOneWholeIntervalAfterSwitchingOn) {
  window.timer2.set_interval(1000);
  follow(0ms);
  EXPECT_FALSE(scheduler.next());
  window.timer2.set_enabled(true);
  follow(250ms);
  EXPECT_EQ(scheduler.next()->due, 1250ms);
  EXPECT_EQ(tick().due, 1250ms);
  EXPECT_EQ(tick().due, 2250ms);
}

TEST_F(TickScheduler, SwitchingOnWhileOnLeavesTheScheduleAlone) {
  window.timer1.set_interval(1000);
  window.timer1.set_enabled(true);
  follow(0ms);
  window.timer1.set_enabled(true);
  follow(700ms);
  EXPECT_EQ(scheduler.next()->due, 1000ms);
}

TEST_F(TickScheduler, SettingTheIntervalWhileOnStartsThePeriodFromThatMoment) {
  window.timer2.set_interval(1000);
  window.timer2.set_enabled(true);
  follow(0ms);
  window.timer2.set_interval(500);
  follow(300ms);
  EXPECT_EQ(scheduler.next()->due, 800ms);
  // Set from inside the timer's own tick: the period counts from that tick.
  EXPECT_EQ(tick([&] { window.timer2.set_interval(500); }).due, 800ms);
  EXPECT_EQ(scheduler.next()->due, 1300ms);
}

TEST_F(TickScheduler, ATimerOffOrWithoutIntervalNeverTicks) {
  window.timer1.set_enabled(true);
  follow(0ms);
  EXPECT_FALSE(scheduler.next());
  window.timer1.set_interval(1000);
  follow(100ms);
  EXPECT_EQ(scheduler.next()->due, 1100ms);
  window.timer1.set_enabled(false);
  follow(200ms);
  EXPECT_FALSE(scheduler.next());
}

// The watch tick comes before a countdown tick due at the same moment, as the
// watch timer was running first.
TEST_F(TickScheduler, TicksDueTogetherRunInTheOrderTheyWereScheduled) {
  window.timer1.set_interval(1000);
  window.timer1.set_enabled(true);
  follow(0ms);
  EXPECT_EQ(tick([&] {
              window.timer2.set_interval(1000);
              window.timer2.set_enabled(true);
            }).timer,
            timer_id::timer1);
  for (int second = 2; second < 5; ++second) {
    const due_tick watch = tick();
    EXPECT_EQ(watch.timer, timer_id::timer1);
    EXPECT_EQ(watch.due, milliseconds{second * 1000});
    const due_tick countdown = tick([&] { window.timer2.set_interval(1000); });
    EXPECT_EQ(countdown.timer, timer_id::timer2);
    EXPECT_EQ(countdown.due, milliseconds{second * 1000});
  }
}

TEST_F(TickScheduler, ALateWakeUpDoesNotShiftLaterTicks) {
  window.timer1.set_interval(1000);
  window.timer1.set_enabled(true);
  follow(0ms);
  const due_tick late = *scheduler.next();
  scheduler.ticked(window, late, 1300ms);
  EXPECT_EQ(scheduler.next()->due, 2000ms);
}

// Held up for two seconds, by a watch tick on a slow disk, say, the countdown
// makes up its ticks at once, and the warning keeps its length; the watch
// skips what it missed.
TEST_F(TickScheduler, ACountdownHeldUpBrieflyMakesUpItsTicks) {
  window.timer1.set_interval(1000);
  window.timer1.set_enabled(true);
  window.timer2.set_interval(500);
  window.timer2.set_enabled(true);
  follow(0ms);
  const milliseconds late = 2600ms;
  std::vector<milliseconds> countdown_dues;
  for (due_tick next = *scheduler.next(); next.due <= late; next = *scheduler.next()) {
    if (next.timer == timer_id::timer2) {
      countdown_dues.push_back(next.due);
      window.timer2.set_interval(500);
    } else {
      EXPECT_EQ(next.due, 1000ms) << "a watch tick made up";
    }
    scheduler.ticked(window, next, late);
  }
  EXPECT_EQ(countdown_dues, (std::vector<milliseconds>{500ms, 1000ms, 1500ms, 2000ms, 2500ms}));
  EXPECT_EQ(scheduler.next()->due, 3000ms);
}

TEST_F(TickScheduler, TicksMissedEntirelyAreDroppedNotMadeUp) {
  window.timer1.set_interval(1000);
  window.timer1.set_enabled(true);
  window.timer2.set_interval(500);
  window.timer2.set_enabled(true);
  follow(0ms);
  // An hour asleep: the countdown, reset by its own tick, and the watch each
  // run once, without making up thousands of missed ticks.
  const milliseconds awake = 3'600'400ms;
  const due_tick countdown = *scheduler.next();
  EXPECT_EQ(countdown.timer, timer_id::timer2);
  window.timer2.set_interval(500);
  scheduler.ticked(window, countdown, awake);
  const due_tick watch = *scheduler.next();
  EXPECT_EQ(watch.timer, timer_id::timer1);
  EXPECT_EQ(watch.due, 1000ms);
  scheduler.ticked(window, watch, awake);
  EXPECT_EQ(scheduler.next()->timer, timer_id::timer2);
  EXPECT_EQ(scheduler.next()->due, 3'600'500ms);
  window.timer2.set_enabled(false);
  scheduler.follow(window, awake, awake);
  EXPECT_EQ(scheduler.next()->due, 3'601'000ms);
}

}  // namespace
}  // namespace vrnskdm::supervision
