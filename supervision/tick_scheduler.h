#pragma once

// When the window's two timers tick, for the real window and the simulated one.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

#include "window_model.h"

namespace vrnskdm::supervision {

enum class timer_id { timer1, timer2 };

struct due_tick {
  timer_id timer;
  std::chrono::milliseconds due;
};

// Keeps the window's two timers to their rules on a monotonic millisecond axis,
// for the real window and the simulated one alike. Ticks follow one another by
// their due times, not by when they happened to run, so a late wake-up does not
// shift later ticks; a tick missed entirely (the machine was suspended, say) is
// dropped rather than made up for. But the countdown's seconds are the clock's:
// countdown ticks held up for a few seconds at most (by a tick waiting on a
// slow disk, say) all run as soon as they can, so that the warning takes its
// 180 seconds and no longer.
class tick_scheduler {
 public:
  // Takes note of what a handler did to the timers; moment is when that
  // handler's event was due, now is the time after it ran. A timer switched on
  // or reset counts its first period from moment; periods that ended before now
  // are skipped.
  void follow(const window_model& window, std::chrono::milliseconds moment,
              std::chrono::milliseconds now);

  // The next tick: the earliest due; of two due together, the one scheduled first.
  std::optional<due_tick> next() const;

  // Moves a timer that just ticked on to its next due time, skipping those that
  // lie before now, unless the handler reset it; then follows the handler's
  // other changes from the tick's due time.
  void ticked(const window_model& window, due_tick tick, std::chrono::milliseconds now);

 private:
  struct schedule {
    bool running = false;
    std::uint64_t epoch = 0;
    std::chrono::milliseconds due{};
    std::uint64_t order = 0;
  };

  static const timer_control& control(const window_model& window, timer_id timer);
  static std::chrono::milliseconds first_due_after(timer_id timer, std::chrono::milliseconds due,
                                                   std::chrono::milliseconds interval,
                                                   std::chrono::milliseconds now);

  std::array<schedule, 2> schedules_;
  std::uint64_t orders_given_ = 0;
};

}  // namespace vrnskdm::supervision
