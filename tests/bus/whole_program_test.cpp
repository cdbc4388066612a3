#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/logind_mock.h"
#include "support/private_bus.h"
#include "support/scratch_dir.h"
#include "support/temp_folder.h"

namespace vrnskdm::testing {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;

enum class logind_kind { accepting, refusing, silent };

// Time zones 26 hours apart: moving the machine from the first to the second
// moves its wall clock a day on, and the service period runs out at once.
constexpr const char* zone_before = "/usr/share/zoneinfo/Etc/GMT+12";
constexpr const char* zone_after = "/usr/share/zoneinfo/Etc/GMT-14";

// The shipped program, headless, on a machine of its own: a private bus with a
// logind that records the restart (or never answers), a companion beating
// twice a second, and a working folder with settings pointing at the
// companion. With the silent logind the program sees a time zone of the
// test's own, in place of the machine's, in a mount namespace (which needs
// root).
class machine {
 public:
  explicit machine(logind_kind kind)
      : logind_{bus_}, notifications_{bus_, notification_service}, silent_{kind == logind_kind::silent} {
    if (kind == logind_kind::refusing) logind_.refuse_reboot("org.freedesktop.DBus.Error.AccessDenied");
    if (silent_) logind_.freeze();
    write(folder_.file("vrnskdm.ini"), "telvnor_path=" + folder_.file("telvnor") +
                                           "\r\nReboot=1\r\nReboot24=1\r\nReboot24_v=0\r\n");
    companion_.emplace(std::vector<std::string>{VRNSKDM_COMPANION_SIM, folder_.file("telvnor"),
                                                "--every", "500"},
                       std::vector<std::string>{}, folder_.file("companion.out"));
    std::vector<std::string> command{VRNSKDM_PROGRAM};
    if (silent_) {
      write(zone(), read(zone_before));
      command = {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                 R"(mount --bind "$0" /etc/localtime && exec "$1")", zone(), VRNSKDM_PROGRAM};
    }
    program_.emplace(command,
                     std::vector<std::string>{"DBUS_SYSTEM_BUS_ADDRESS=" + bus_.address(),
                                              "DBUS_SESSION_BUS_ADDRESS=" + bus_.address(),
                                              "QT_QPA_PLATFORM=offscreen",
                                              // No band on the developer's screen.
                                              "DISPLAY=", "WAYLAND_DISPLAY="},
                     folder_.file("program.out"), folder_.path());
  }
  ~machine() {
    if (silent_) logind_.thaw();
  }
  machine(const machine&) = delete;
  machine& operator=(const machine&) = delete;

  // Rewritten in place: the program's view of its zone is the same file.
  void move_clock_a_day_on() const { write(zone(), read(zone_after)); }

  lines log() const { return log_messages(read(folder_.file("report.log"))); }
  bool started() const { return !log().empty(); }
  void silence_companion() const { companion_->signal(SIGUSR1); }
  // The restart requests among the calls to logind, which also hears, at the
  // start, whether a restart would be allowed.
  lines restart_calls() {
    lines calls = logind_.calls();
    std::erase_if(calls, [](const std::string& call) { return call == "CanReboot()"; });
    return calls;
  }
  lines logind_calls() { return logind_.calls(); }
  lines notification_calls() { return notifications_.calls(); }
  bool running() { return !program_->has_ended(); }
  std::string program_output() const { return program_->output(); }

 private:
  static void write(const std::string& path, const std::string& text) {
    std::ofstream{path, std::ios::binary} << text;
  }
  static std::string read(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream{path, std::ios::binary}.rdbuf();
    return text.str();
  }
  std::string zone() const { return folder_.file("zone"); }

  temp_folder folder_;
  private_bus bus_;
  logind_mock logind_;
  dbus_mock notifications_;
  bool silent_;
  std::optional<child_process> companion_;
  std::optional<child_process> program_;
};

// Polls until the condition holds or the time is up; says whether it held.
template <typename condition>
bool wait_for(condition holds, steady_clock::duration limit) {
  const auto until = steady_clock::now() + limit;
  while (!holds()) {
    if (steady_clock::now() > until) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// Three machines at once: one whose logind accepts the restart, one whose
// logind refuses it, and one whose logind never answers while a scheduled
// restart is asked for again and again. The companion falls silent after the
// start-up, and about three minutes later each has asked for the lock
// restart: the silent logind holds nothing up.
TEST(WholeProgram, RestartsTheMachineThreeMinutesAfterTheCompanionFellSilent) {
  machine accepting{logind_kind::accepting};
  machine refusing{logind_kind::refusing};
  std::optional<machine> silent;
  if (::geteuid() == 0) silent.emplace(logind_kind::silent);
  ASSERT_TRUE(wait_for([&] { return accepting.started() && refusing.started() &&
                                    (!silent || silent->started()); },
                       30s))
      << accepting.program_output() << refusing.program_output();
  if (silent) {
    silent->move_clock_a_day_on();
    ASSERT_TRUE(wait_for([&] { return silent->log().size() == 2; }, 5s)) << silent->program_output();
  }
  // Let the watch see the companion alive first.
  std::this_thread::sleep_for(3s);
  accepting.silence_companion();
  refusing.silence_companion();
  if (silent) silent->silence_companion();
  const auto silent_from = steady_clock::now();

  // The last heartbeat may still be waiting: the first silent tick comes
  // within two seconds, and the restart 181 seconds after it.
  std::this_thread::sleep_for(178s);
  EXPECT_EQ(accepting.restart_calls(), lines{});
  EXPECT_EQ(refusing.restart_calls(), lines{});
  // Each machine's moment is taken in one loop, as soon as it is seen.
  std::optional<steady_clock::duration> asked_after;
  std::optional<steady_clock::duration> silent_asked_after;
  wait_for([&] {
    if (!asked_after && !accepting.restart_calls().empty()) asked_after = steady_clock::now() - silent_from;
    if (silent && !silent_asked_after &&
        count_of(silent->log(), "Shutdown for no TELVANORE response") > 0) {
      silent_asked_after = steady_clock::now() - silent_from;
    }
    return asked_after && (!silent || silent_asked_after);
  }, 10s);
  ASSERT_TRUE(asked_after.has_value());
  std::cout << "[ measured ] restart asked " << std::chrono::duration<double>(*asked_after).count()
            << " s after the companion fell silent\n";
  EXPECT_GE(*asked_after, 180s);
  EXPECT_LE(*asked_after, 184s);
  if (silent) {
    ASSERT_TRUE(silent_asked_after.has_value());
    std::cout << "[ measured ] with a silent logind and a scheduled restart asked for meanwhile, "
              << "restart asked " << std::chrono::duration<double>(*silent_asked_after).count()
              << " s after the companion fell silent\n";
    EXPECT_GE(*silent_asked_after, 180s);
    EXPECT_LE(*silent_asked_after, 184s);
  } else {
    std::cout << "[ skipped  ] the machine with a silent logind moves its clock, which takes root\n";
  }
  ASSERT_TRUE(wait_for([&] { return !refusing.restart_calls().empty(); }, 3s));
  std::this_thread::sleep_for(3s);

  EXPECT_EQ(accepting.logind_calls(), (lines{"CanReboot()", "Reboot(false)"}));
  // The desktop showed the warning too, until the restart was asked for (and
  // shows it again for the next countdown, since the machine stays up here).
  const lines notified = accepting.notification_calls();
  ASSERT_GE(notified.size(), 2u);
  EXPECT_EQ(lines(notified.begin(), notified.begin() + 2),
            (lines{R"(Notify("vrnskdm", 0, "vrnskdm", "The machine restarts in 180 seconds", )"
                   R"("TELVANORE does not respond.", [], {"urgency": <y 2>}, 0))",
                   "CloseNotification(1)"}));
  EXPECT_EQ(accepting.log(),
            (lines{"VARNISKELDAM Restarted", "Shutdown for no TELVANORE response"}));
  EXPECT_EQ(refusing.restart_calls(), lines{"Reboot(false)"});
  EXPECT_EQ(refusing.log(), (lines{"VARNISKELDAM Restarted", "Shutdown for no TELVANORE response",
                                   "VARNISKELDAM Unable to REBOOT!"}));
  if (silent) {
    // The scheduled restart's line comes once, not with each of its requests.
    EXPECT_EQ(silent->log(),
              (lines{"VARNISKELDAM Restarted", "Shutdown. DELETE.ME found not deleted.",
                     "Shutdown for no TELVANORE response", "VARNISKELDAM Unable to REBOOT!"}));
    EXPECT_TRUE(silent->running());
  }
  EXPECT_TRUE(accepting.running());
  EXPECT_TRUE(refusing.running());
}

}  // namespace
}  // namespace vrnskdm::testing
