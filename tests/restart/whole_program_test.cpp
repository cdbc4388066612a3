#include <gtest/gtest.h>

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
using lines = std::vector<std::string>;

// The shipped program, headless, on a machine of its own: a private bus with a
// logind that records the restart, a companion beating twice a second, and a
// working folder with settings pointing at the companion.
class machine {
 public:
  explicit machine(bool logind_refuses) : logind_{bus_} {
    if (logind_refuses) logind_.refuse_reboot("org.freedesktop.DBus.Error.AccessDenied");
    write(folder_.file("vrnskdm.ini"), "telvnor_path=" + folder_.file("telvnor") +
                                           "\r\nReboot=1\r\nReboot24=1\r\nReboot24_v=0\r\n");
    companion_.emplace(std::vector<std::string>{VRNSKDM_COMPANION_SIM, folder_.file("telvnor"),
                                                "--every", "500"},
                       std::vector<std::string>{}, folder_.file("companion.out"));
    program_.emplace(std::vector<std::string>{VRNSKDM_PROGRAM},
                     std::vector<std::string>{"DBUS_SYSTEM_BUS_ADDRESS=" + bus_.address(),
                                              "QT_QPA_PLATFORM=offscreen"},
                     folder_.file("program.out"), folder_.path());
  }

  lines log() const { return log_messages(read(folder_.file("report.log"))); }
  bool started() const { return !log().empty(); }
  void silence_companion() const { companion_->signal(SIGUSR1); }
  lines restart_calls() { return logind_.calls(); }
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

  temp_folder folder_;
  private_bus bus_;
  logind_mock logind_;
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

// Two machines at once, one whose logind accepts the restart and one whose
// logind refuses it: the companion falls silent after the start-up, and about
// three minutes later each has asked logind exactly once.
TEST(WholeProgram, RestartsTheMachineThreeMinutesAfterTheCompanionFellSilent) {
  machine accepting{false};
  machine refusing{true};
  ASSERT_TRUE(wait_for([&] { return accepting.started() && refusing.started(); }, 30s))
      << accepting.program_output() << refusing.program_output();
  // Let the watch see the companion alive first.
  std::this_thread::sleep_for(3s);
  accepting.silence_companion();
  refusing.silence_companion();
  const auto silent_from = steady_clock::now();

  // The last heartbeat may still be waiting: the first silent tick comes
  // within two seconds, and the restart 181 seconds after it.
  std::this_thread::sleep_for(178s);
  EXPECT_EQ(accepting.restart_calls(), lines{});
  EXPECT_EQ(refusing.restart_calls(), lines{});
  ASSERT_TRUE(wait_for([&] { return !accepting.restart_calls().empty(); }, 10s));
  const auto asked_after = steady_clock::now() - silent_from;
  std::cout << "[ measured ] restart asked "
            << std::chrono::duration<double>(asked_after).count()
            << " s after the companion fell silent\n";
  EXPECT_GE(asked_after, 180s);
  EXPECT_LE(asked_after, 184s);
  ASSERT_TRUE(wait_for([&] { return !refusing.restart_calls().empty(); }, 3s));
  std::this_thread::sleep_for(3s);

  EXPECT_EQ(accepting.restart_calls(), lines{"Reboot(false)"});
  EXPECT_EQ(accepting.log(),
            (lines{"VARNISKELDAM Restarted", "Shutdown for no TELVANORE response"}));
  EXPECT_EQ(refusing.restart_calls(), lines{"Reboot(false)"});
  EXPECT_EQ(refusing.log(), (lines{"VARNISKELDAM Restarted", "Shutdown for no TELVANORE response",
                                   "VARNISKELDAM Unable to REBOOT!"}));
  EXPECT_TRUE(accepting.running());
  EXPECT_TRUE(refusing.running());
}

}  // namespace
}  // namespace vrnskdm::testing
