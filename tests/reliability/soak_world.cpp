#include "soak_world.h"

#include <algorithm>

#include "support/simulated_watchdog.h"

namespace vrnskdm::testing {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

namespace {

using enum supervision::build;

}  // namespace

soak_world::soak_world(std::uint64_t seed, const std::string& old_log, soak_observer& observer)
    : random_{seed}, observer_{observer}, clock_{default_start()} {
  files_.put(log_file, old_log);
  files_.put(executable, "");
  next_operator_action_ = random_interval(1h);
  next_clock_step_ = random_interval(6h);
  next_refusal_ = random_interval(24h);
  start_program();
}

milliseconds soak_world::random_between(milliseconds low, milliseconds high) {
  return milliseconds{std::uniform_int_distribution<long long>{low.count(), high.count()}(random_)};
}

milliseconds soak_world::random_interval(milliseconds mean) {
  const double drawn =
      std::exponential_distribution<double>{1.0 / static_cast<double>(mean.count())}(random_);
  return milliseconds{static_cast<long long>(drawn) + 1};
}

bool soak_world::chance(double probability) {
  return std::bernoulli_distribution{probability}(random_);
}

supervision::supervisor* soak_world::supervisor() {
  return watchdog_ ? &watchdog_->supervisor() : nullptr;
}

// The machine has come up: the program starts, and so does the companion.
void soak_world::start_program() {
  watchdog_.emplace(platform::services{files_, clock_, events_, restart_, process_}, shipped);
  watchdog_->load();
  started_at_ = clock_.monotonic();
  ++counts_.starts;
  std::vector<std::string> logged;
  for (auto& [path, line] : files_.take_written()) {
    if (path == log_file) logged.push_back(std::move(line));
  }
  counts_.log_lines += static_cast<long long>(logged.size());
  observer_.started(*this, logged);
  if (companion_ == companion::absent) files_.put(executable, "");
  companion_ = companion::beating;
  companion_change_at_ = started_at_ + random_interval(50min);
  next_beat_ = started_at_ + random_between(0ms, 999ms);
  // What fell due while the machine was down happens now.
  next_operator_action_ = std::max(next_operator_action_, started_at_);
  next_clock_step_ = std::max(next_clock_step_, started_at_);
}

void soak_world::run_until(milliseconds end) {
  while (clock_.monotonic() < end) {
    if (!watchdog_) {
      clock_.advance_to(up_again_at_);
      start_program();
      continue;
    }
    milliseconds next = *watchdog_->next_due();
    next = std::min({next, companion_change_at_, next_operator_action_, next_clock_step_});
    if (companion_ == companion::beating) next = std::min(next, next_beat_);
    if (going_down_at_) next = std::min(next, *going_down_at_);
    clock_.advance_to(next);

    if (going_down_at_ && *going_down_at_ == next) {
      going_down_at_.reset();
      watchdog_.reset();
      up_again_at_ = next + random_between(30s, 120s);
      continue;
    }
    if (companion_change_at_ == next) companion_changes(next);
    if (companion_ == companion::beating && next_beat_ == next) {
      files_.put(heartbeat, "");
      next_beat_ = next + random_between(950ms, 1000ms);
    }
    if (next_operator_action_ == next) operator_acts(next);
    if (next_clock_step_ == next) clock_steps();
    if (*watchdog_->next_due() == next) run_ticks(next);
  }
}

void soak_world::run_ticks(milliseconds now) {
  const supervision::supervisor& supervisor = watchdog_->supervisor();
  tick_report report{};
  report.moment = now;
  report.watch_ticked = (now - started_at_) % 1s == 0ms;
  report.executable_present = files_.file_exists(executable);
  report.heartbeat_present = files_.file_exists(heartbeat);
  report.marker_present = files_.file_exists(marker_file);
  report.reboot = supervisor.window.reboot.value();
  report.reboot24 = supervisor.window.reboot24.value();
  // Now and then restarts are refused, once or for a while, and the program has
  // to carry on.
  if (now >= next_refusal_) {
    ++counts_.refusals;
    refusing_until_ = now + random_between(5min, 60min);
    next_refusal_ = refusing_until_ + random_interval(24h);
  }
  const bool refusing = now < refusing_until_ || chance(0.05);
  restart_.answer = refusing ? logind_answer::refuses : logind_answer::accepts;
  report.accepted = !refusing;

  watchdog_->run_due();

  report.requests = restart_.requests.size();
  restart_.requests.clear();
  for (auto& [path, line] : files_.take_written()) {
    if (path == log_file) report.log_lines.push_back(std::move(line));
  }
  counts_.log_lines += static_cast<long long>(report.log_lines.size());
  if (report.watch_ticked) ++counts_.watch_ticks;
  observer_.ticked(*this, report);

  if (report.requests > 0 && report.accepted && !going_down_at_) {
    // The restart goes on in the background while the program still runs.
    going_down_at_ = now + random_between(1s, 20s);
  }
}

void soak_world::companion_changes(milliseconds now) {
  if (companion_ != companion::beating) {
    if (companion_ == companion::absent) files_.put(executable, "");
    companion_ = companion::beating;
    companion_change_at_ = now + random_interval(50min);
    next_beat_ = now + random_between(0ms, 999ms);
    return;
  }
  if (chance(0.05)) {
    companion_ = companion::absent;
    ++counts_.absences;
    files_.delete_file(executable);
    companion_change_at_ = now + random_between(5s, 400s);
    return;
  }
  companion_ = companion::silent;
  const double kind = std::uniform_real_distribution<double>{0, 1}(random_);
  milliseconds silence = kind < 0.60   ? random_between(1s, 3s)
                         : kind < 0.88 ? random_between(4s, 175s)
                                       : random_between(176s, 700s);
  if (silence > 182s) ++counts_.outages;
  companion_change_at_ = now + silence;
}

void soak_world::operator_acts(milliseconds now) {
  // Actions at least a few seconds apart, as a person makes them.
  next_operator_action_ = now + std::max(milliseconds{5s}, random_interval(1h));
  ++counts_.operator_actions;
  supervision::window_model& window = watchdog_->supervisor().window;
  const bool reboot_off = window.reboot.value() != 1;
  const bool reboot24_off = window.reboot24.value() != 1;
  const double pick = std::uniform_real_distribution<double>{0, 1}(random_);
  if ((reboot_off && pick < 0.7) || (!reboot_off && !reboot24_off && pick < 0.25)) {
    window.reboot.click();
    if (window.reboot.value() == 1) observer_.reboot_switched_on(now);
  } else if (reboot24_off || pick < 0.55) {
    window.reboot24.click();
  } else {
    files_.delete_file(marker_file);
  }
}

void soak_world::clock_steps() {
  next_clock_step_ = clock_.monotonic() + random_interval(6h);
  ++counts_.clock_steps;
  const double kind = std::uniform_real_distribution<double>{0, 1}(random_);
  using std::chrono::seconds;
  const auto sign = chance(0.5) ? 1 : -1;
  seconds step = kind < 0.4   ? sign * std::chrono::duration_cast<seconds>(random_between(1s, 90s))
                 : kind < 0.6 ? seconds{sign * 3600}
                 : kind < 0.8 ? -std::chrono::duration_cast<seconds>(random_between(1h, 12h))
                              : std::chrono::duration_cast<seconds>(random_between(24h, 72h));
  clock_.step_wall(step);
}

}  // namespace vrnskdm::testing
