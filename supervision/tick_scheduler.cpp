#include "tick_scheduler.h"

namespace vrnskdm::supervision {

using std::chrono::milliseconds;

namespace {

constexpr std::array<timer_id, 2> all_timers{timer_id::timer1, timer_id::timer2};

bool ticks(const timer_control& timer) { return timer.enabled() && timer.interval() > 0; }

// How long countdown ticks may be held up and still be made up for. A watch
// tick is never made up: run at once after the one before, it would find no
// heartbeat, the companion having had no time to write one. Nor is a
// countdown that was away for longer, the process stopped, say: it goes on
// from where its user last saw it.
constexpr milliseconds countdown_made_up_within{10'000};

}  // namespace

const timer_control& tick_scheduler::control(const window_model& window, timer_id timer) {
  return timer == timer_id::timer1 ? window.timer1 : window.timer2;
}

milliseconds tick_scheduler::first_due_after(timer_id timer, milliseconds due,
                                             milliseconds interval, milliseconds now) {
  if (due > now) return due;
  if (timer == timer_id::timer2 && now - due <= countdown_made_up_within) return due;
  return due + ((now - due) / interval + 1) * interval;
}

void tick_scheduler::follow(const window_model& window, milliseconds moment, milliseconds now) {
  for (const timer_id timer : all_timers) {
    const timer_control& timer_state = control(window, timer);
    schedule& s = schedules_[static_cast<std::size_t>(timer)];
    if (!ticks(timer_state)) {
      s.running = false;
    } else if (!s.running || s.epoch != timer_state.schedule_epoch()) {
      const milliseconds interval{timer_state.interval()};
      s = {true, timer_state.schedule_epoch(),
           first_due_after(timer, moment + interval, interval, now), ++orders_given_};
    }
  }
}

std::optional<due_tick> tick_scheduler::next() const {
  std::optional<due_tick> earliest;
  std::uint64_t earliest_order = 0;
  for (const timer_id timer : all_timers) {
    const schedule& s = schedules_[static_cast<std::size_t>(timer)];
    if (!s.running) continue;
    if (!earliest || s.due < earliest->due || (s.due == earliest->due && s.order < earliest_order)) {
      earliest = due_tick{timer, s.due};
      earliest_order = s.order;
    }
  }
  return earliest;
}

void tick_scheduler::ticked(const window_model& window, due_tick tick, milliseconds now) {
  const timer_control& timer_state = control(window, tick.timer);
  schedule& s = schedules_[static_cast<std::size_t>(tick.timer)];
  if (s.running && ticks(timer_state) && s.epoch == timer_state.schedule_epoch()) {
    const milliseconds interval{timer_state.interval()};
    s.due = first_due_after(tick.timer, s.due + interval, interval, now);
    s.order = ++orders_given_;
  }
  follow(window, tick.due, now);
}

}  // namespace vrnskdm::supervision
