// Runs the watch tick a given number of times with the companion alive, for
// counting its instructions under callgrind:
//
//   watch-tick-runs COUNT
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/clock.h"
#include "ticking_watchdog.h"

namespace {

// The same moment at every call, broken down by the C library as the real
// clock's is: the digits of a timestamp take more or fewer instructions to
// format, so the real time of day would make the count wander.
class repeatable_clock final : public vrnskdm::platform::clock {
 public:
  vrnskdm::platform::date_time now() override { return vrnskdm::platform::to_local(moment); }
  std::chrono::milliseconds monotonic() override { return real_.monotonic(); }

 private:
  static constexpr std::time_t moment = 1772447400;  // 2026/03/02 10:30:00 UTC
  vrnskdm::platform::real_clock real_;
};

}  // namespace

int main(int argc, char** argv) {
  char* end = nullptr;
  const long count = argc == 2 ? std::strtol(argv[1], &end, 10) : -1;
  if (argc != 2 || *end != '\0' || count < 0) {
    std::fprintf(stderr, "usage: watch-tick-runs COUNT\n");
    return 2;
  }
  repeatable_clock clock;
  vrnskdm::bench::ticking_watchdog program{clock};
  for (long run = 0; run < count; ++run) {
    program.beat();
    program.tick();
    if (program.heartbeat_waiting()) {
      std::fprintf(stderr, "tick %ld left the heartbeat in place\n", run + 1);
      return 1;
    }
  }
  return 0;
}
