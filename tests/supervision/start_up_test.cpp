#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/faulty_watchdog.h"
#include "support/simulated_watchdog.h"
#include "supervision/supervisor.h"

namespace vrnskdm::supervision {
namespace {

using testing::crlf_text;
using testing::simulated_watchdog;
using testing::lines;

using enum supervision::build;

TEST(StartUp, WithoutASettingsFileTakesTheDefaultsAndCreatesNone) {
  simulated_watchdog run{debug};
  run.load();
  const auto& state = run.state();
  const auto& window = run.window();

  EXPECT_EQ(state.companion_dir, "/telvnor");
  EXPECT_EQ(state.reboot_on_lock, 1);
  EXPECT_EQ(state.reboot_each, 1);
  EXPECT_EQ(state.period_index, 0);
  EXPECT_EQ(window.path.text, "/telvnor");
  EXPECT_EQ(window.reboot.value(), 1);
  EXPECT_EQ(window.reboot24.value(), 1);
  EXPECT_EQ(window.reboot_time.text(), "24 Hours");
  EXPECT_FALSE(run.dir.exists("vrnskdm.ini"));

  EXPECT_EQ(run.dir.read("delete.me"),
            crlf_text({"Delete this file to don't make reboot the system in 24 hours from:",
                       "2026/03/02 10:30:00"}));
  EXPECT_EQ(run.log_lines(), (lines{"2026/03/02 10:30:00 VARNISKELDAM Restarted"}));
}

TEST(StartUp, PreparesControlsTimersAndThePeriodTable) {
  simulated_watchdog run{debug};
  run.load();
  const auto& state = run.state();
  const auto& window = run.window();

  EXPECT_EQ(window.reboot_time.items(), (lines{"24 Hours", "2 Days", "4 Days", "7 Days", "10 Days",
                                                "14 Days", "15 Days", "30 Days"}));
  const std::array<double, 11> hours{24, 48, 96, 168, 240, 336, 360, 720, 0, 0, 0};
  EXPECT_EQ(state.period_hours, hours);

  EXPECT_TRUE(window.timer1.enabled());
  EXPECT_EQ(window.timer1.interval(), 1000);
  EXPECT_FALSE(window.timer2.enabled());
  EXPECT_EQ(window.timer2.interval(), 1000);
  EXPECT_EQ(state.countdown, 180);
  EXPECT_FALSE(window.sfondo.visible);
  EXPECT_FALSE(window.sfondo.enabled);
  EXPECT_FALSE(window.warning.enabled);
  EXPECT_EQ(state.base_dir, run.dir.path());
  EXPECT_EQ(state.cycle_start, testing::default_start());
  EXPECT_EQ(run.watchdog.next_due(), run.clock.monotonic() + std::chrono::seconds{1});
}

// Just after the machine starts, the clock may still be being set: the start-up
// sees its seconds change nine times before it trusts it.
TEST(StartUp, TheShippedBuildWaitsForTheClockToSettle) {
  simulated_watchdog run{shipped, platform::make_date_time(2026, 3, 2, 10, 29, 59) +
                                      std::chrono::seconds{0}};
  run.clock.advance(std::chrono::milliseconds{300});  // part-way into a second
  const auto started = run.clock.monotonic();
  run.load();
  const auto waited = run.clock.monotonic() - started;
  EXPECT_GE(waited, std::chrono::milliseconds{8000});
  EXPECT_LT(waited, std::chrono::milliseconds{9000});
  EXPECT_GT(run.events.pumps, 0);
  EXPECT_EQ(run.state().cycle_start, platform::make_date_time(2026, 3, 2, 10, 30, 8));
  EXPECT_FALSE(run.state().debug_mode);
}

TEST(StartUp, TheDebugBuildDoesNotWait) {
  simulated_watchdog run{debug};
  run.load();
  EXPECT_EQ(run.events.pumps, 0);
  EXPECT_TRUE(run.state().debug_mode);
}

struct settings_case {
  const char* name;
  std::string file;
  std::string companion_dir;
  int reboot_on_lock, reboot_each, period_index;
  int reboot_box, reboot24_box, list_index;
};

// What the start-up makes of settings files as operators and editors leave them.
TEST(StartUp, ReadsSettingsByPositionWithTheBufferRule) {
  const settings_case cases[] = {
      {"four lines", crlf_text({"telvnor_path=/opt/tv", "Reboot=0", "Reboot24=1", "Reboot24_v=3"}),
       "/opt/tv", 0, 1, 3, 0, 1, 3},
      {"keys are not checked", crlf_text({"x=/a", "y=1", "z=0", "w=7"}), "/a", 1, 0, 7, 1, 0, 7},
      {"LF line ends", "telvnor_path=/b\nReboot=1\nReboot24=0\nReboot24_v=2\n", "/b", 1, 0, 2, 1, 0,
       2},
      {"a second = stays in the folder", crlf_text({"telvnor_path=/a=b", "Reboot=1", "Reboot24=1",
                                                    "Reboot24_v=0"}),
       "/a=b", 1, 1, 0, 1, 1, 0},
      {"folder text unchanged", crlf_text({"telvnor_path= /sp ace ", "Reboot=1", "Reboot24=1",
                                           "Reboot24_v=0"}),
       " /sp ace ", 1, 1, 0, 1, 1, 0},
      {"no = gives the whole line", crlf_text({"/plain", "Reboot", "Reboot24=1", "Reboot24_v=1"}),
       "/plain", 0, 1, 1, 0, 1, 1},
      // Lines 3 and 4 are missing: each takes the value part left from line 2.
      {"two lines", crlf_text({"telvnor_path=/two", "Reboot=1"}), "/two", 1, 1, 1, 1, 1, 1},
      // The folder's value part, "/one", starts with no number.
      {"one line", crlf_text({"telvnor_path=/one"}), "/one", 0, 0, 0, 0, 0, 0},
      {"one line, number in the folder", crlf_text({"telvnor_path=5"}), "5", 5, 5, 5, 1, 0, 5},
      {"empty file", "", "", 0, 0, 0, 0, 0, 0},
      {"grayed", crlf_text({"telvnor_path=/g", "Reboot=2", "Reboot24=2", "Reboot24_v=0"}), "/g", 2, 2,
       0, 2, 2, 0},
      // A check box takes no 3: it keeps its design state, the setting keeps 3.
      {"a value no check box takes", crlf_text({"telvnor_path=/t", "Reboot=3", "Reboot24=3",
                                                "Reboot24_v=0"}),
       "/t", 3, 3, 0, 1, 0, 0},
      {"halves to even", crlf_text({"telvnor_path=/h", "Reboot=0.5", "Reboot24=1.5", "Reboot24_v=2.5"}),
       "/h", 0, 2, 2, 0, 2, 2},
      {"too large keeps 0", crlf_text({"telvnor_path=/l", "Reboot=99999", "Reboot24=1",
                                       "Reboot24_v=1e9"}),
       "/l", 0, 1, 0, 0, 1, 0},
      {"hexadecimal", crlf_text({"telvnor_path=/x", "Reboot=&H1", "Reboot24=&O0", "Reboot24_v=&H7"}),
       "/x", 1, 0, 7, 1, 0, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    simulated_watchdog run{debug};
    run.dir.write("vrnskdm.ini", c.file);
    run.load();
    EXPECT_EQ(run.state().companion_dir, c.companion_dir);
    EXPECT_EQ(run.state().reboot_on_lock, c.reboot_on_lock);
    EXPECT_EQ(run.state().reboot_each, c.reboot_each);
    EXPECT_EQ(run.state().period_index, c.period_index);
    EXPECT_EQ(run.window().path.text, c.companion_dir);
    EXPECT_EQ(run.window().reboot.value(), c.reboot_box);
    EXPECT_EQ(run.window().reboot24.value(), c.reboot24_box);
    EXPECT_EQ(run.window().reboot_time.list_index(), c.list_index);
    EXPECT_EQ(run.dir.read("vrnskdm.ini"), c.file) << "the start-up never writes settings";
  }
}

// Slots 8 to 10 hold 0 hours, which would restart the machine right after every
// start; other indexes name no period at all. The start-up takes "24 Hours".
TEST(StartUp, APeriodIndexWithNoRealPeriodIsTakenAsTheFirst) {
  for (const char* index : {"8", "9", "10", "11", "-1", "-2", "32767", "-32768"}) {
    SCOPED_TRACE(index);
    simulated_watchdog run{debug};
    run.dir.write("vrnskdm.ini", crlf_text({"telvnor_path=/p", "Reboot=1", "Reboot24=1",
                                            std::string{"Reboot24_v="} + index}));
    run.load();
    EXPECT_EQ(run.state().period_index, 0);
    EXPECT_EQ(run.window().reboot_time.text(), "24 Hours");
    EXPECT_EQ(testing::crlf_lines(run.dir.read("delete.me")).at(0),
              "Delete this file to don't make reboot the system in 24 hours from:");
  }
}

TEST(StartUp, TheMarkerNamesTheChosenPeriod) {
  simulated_watchdog run{debug};
  run.write_settings(1, 1, 7);
  run.load();
  EXPECT_EQ(testing::crlf_lines(run.dir.read("delete.me")).at(0),
            "Delete this file to don't make reboot the system in 720 hours from:");
}

TEST(StartUp, EveryStartBeginsANewPeriodAndRewritesTheMarker) {
  simulated_watchdog run{debug};
  run.dir.write("delete.me", "stale\r\nlines\r\nthree\r\n");
  run.dir.write("report.log", "2026/03/01 08:00:00 VARNISKELDAM Restarted\r\n");
  run.load();
  EXPECT_EQ(testing::crlf_lines(run.dir.read("delete.me")).size(), 2u);
  EXPECT_EQ(run.log_lines().size(), 2u);
}

TEST(StartUp, ASettingsFileThatCannotBeOpenedGivesEmptySettings) {
  testing::faulty_watchdog faulty{debug, testing::failing(testing::file_operation::open_input)};
  simulated_watchdog& run = faulty.run;
  run.write_settings(1, 1, 3);
  run.load();
  EXPECT_EQ(run.state().companion_dir, "");
  EXPECT_EQ(run.state().reboot_on_lock, 0);
  EXPECT_EQ(run.state().reboot_each, 0);
  EXPECT_EQ(run.state().period_index, 0);
  EXPECT_EQ(run.log_messages(), (lines{"VARNISKELDAM Restarted"}));
}

// The working folder removed under the program: the start-up completes, writes
// nowhere else, and the watch goes on.
TEST(StartUp, CompletesInAWorkingFolderThatIsGone) {
  simulated_watchdog run{debug};
  run.dir.make_folder("gone");
  std::filesystem::current_path(run.dir.file("gone"));
  std::filesystem::remove(run.dir.file("gone"));
  run.load();
  run.advance(std::chrono::seconds{5});
  EXPECT_EQ(run.state().base_dir, ".");
  EXPECT_EQ(run.state().companion_dir, "/telvnor");
  EXPECT_FALSE(run.dir.exists("report.log"));
  EXPECT_FALSE(run.dir.exists("delete.me"));
  EXPECT_EQ(run.window().checking.caption, "TELVANORE seems to be not installed.");
}

}  // namespace
}  // namespace vrnskdm::supervision
