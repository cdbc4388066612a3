#include "ticking_watchdog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

#include "supervision/watch_tick.h"

namespace vrnskdm::bench {

ticking_watchdog::ticking_watchdog(platform::clock& clock)
    : executable_{supervision::companion_executable_path(folder_.file("telvnor"))},
      heartbeat_{supervision::heartbeat_path(folder_.file("telvnor"))},
      watchdog_{platform::services{files_, clock, events_, restart_, process_}, supervision::build::debug} {
  folder_.make_folder("telvnor");
  folder_.write("telvnor/telvnor.exe", "");
  folder_.write("vrnskdm.ini", testing::crlf_text({"telvnor_path=" + folder_.file("telvnor"),
                                                   "Reboot=1", "Reboot24=1", "Reboot24_v=0"}));
  watchdog_.load();
  beat();
  tick();
  if (watchdog_.supervisor().window.checking.caption.rfind("TELVANORE alive at: ", 0) != 0) {
    throw std::runtime_error("the companion was not seen alive: " +
                             watchdog_.supervisor().window.checking.caption);
  }
}

void ticking_watchdog::beat() const {
  const int descriptor = ::open(heartbeat_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor < 0) throw std::runtime_error("cannot create " + heartbeat_);
  ::close(descriptor);
}

void ticking_watchdog::tick() { supervision::watch_tick(watchdog_.supervisor()); }

bool ticking_watchdog::heartbeat_waiting() const {
  struct stat info {};
  return ::stat(heartbeat_.c_str(), &info) == 0;
}

}  // namespace vrnskdm::bench
