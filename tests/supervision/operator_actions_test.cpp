#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/faulty_files.h"
#include "support/private_bus.h"
#include "support/simulated_watchdog.h"
#include "support/stand_ins.h"
#include "supervision/operator_actions.h"
#include "supervision/start_up.h"

namespace vrnskdm::supervision {
namespace {

using namespace std::chrono_literals;
using testing::crlf_lines;
using testing::crlf_text;
using testing::file_operation;
using testing::simulated_watchdog;
using testing::lines;

using enum supervision::build;

// The names in the folder but the one given: what a save leaves beside the
// settings file.
lines names_in(const std::string& folder, const std::string& but) {
  lines names;
  for (const auto& entry : std::filesystem::directory_iterator{folder}) {
    if (entry.path().filename() != but) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct save_case {
  const char* name;
  std::string path;
  int reboot, reboot24, period;
  lines file;
};

TEST(Save, WritesTheFourLinesFromTheControls) {
  const save_case cases[] = {
      {"everything on", "/opt/telvanore", 1, 1, 3,
       {"telvnor_path=/opt/telvanore", "Reboot=1", "Reboot24=1", "Reboot24_v=3"}},
      {"everything off", "/srv/tv", 0, 0, 7,
       {"telvnor_path=/srv/tv", "Reboot=0", "Reboot24=0", "Reboot24_v=7"}},
      {"grayed boxes are saved as 2", "/g", 2, 2, 0,
       {"telvnor_path=/g", "Reboot=2", "Reboot24=2", "Reboot24_v=0"}},
      {"an empty folder", "", 1, 0, 1, {"telvnor_path=", "Reboot=1", "Reboot24=0", "Reboot24_v=1"}},
      {"the folder text unchanged", " /a=b c ", 0, 1, 2,
       {"telvnor_path= /a=b c ", "Reboot=0", "Reboot24=1", "Reboot24_v=2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    simulated_watchdog run{debug};
    run.load();
    auto& window = run.window();
    window.path.text = c.path;
    window.reboot.set_value(c.reboot);
    window.reboot24.set_value(c.reboot24);
    window.reboot_time.set_list_index(c.period);
    run.watchdog.validate_period();
    const lines others = names_in(run.dir.path(), "vrnskdm.ini");
    run.watchdog.save();

    EXPECT_EQ(run.dir.read("vrnskdm.ini"), crlf_text(c.file));
    EXPECT_EQ(run.state().companion_dir, c.path);
    EXPECT_EQ(run.state().reboot_on_lock, c.reboot);
    EXPECT_EQ(run.state().reboot_each, c.reboot24);
    EXPECT_EQ(window.save.caption, "SAVE");
    EXPECT_EQ(names_in(run.dir.path(), "vrnskdm.ini"), others);
  }
}

// What is saved is what the next start reads back.
TEST(Save, TheNextStartReadsTheSavedSettingsBack) {
  simulated_watchdog first{debug};
  first.load();
  first.window().path.text = "/x/y";
  first.window().reboot.set_value(2);
  first.window().reboot24.set_value(0);
  first.window().reboot_time.set_list_index(5);
  first.watchdog.validate_period();
  first.watchdog.save();
  const std::string saved = first.dir.read("vrnskdm.ini");

  simulated_watchdog second{debug};
  second.dir.write("vrnskdm.ini", saved);
  second.load();
  EXPECT_EQ(second.window().path.text, "/x/y");
  EXPECT_EQ(second.window().reboot.value(), 2);
  EXPECT_EQ(second.window().reboot24.value(), 0);
  EXPECT_EQ(second.window().reboot_time.text(), "14 Days");
}

TEST(Save, StartsNoNewPeriodAndLeavesMarkerLogAndTimersAlone) {
  simulated_watchdog run{debug};
  run.load();
  run.advance(2500ms);
  const std::string marker = run.dir.read("delete.me");
  const std::string log = run.dir.read("report.log");
  const auto cycle_start = run.state().cycle_start;
  const auto next_tick = run.watchdog.next_due();

  run.watchdog.save();

  EXPECT_EQ(run.dir.read("delete.me"), marker);
  EXPECT_EQ(run.dir.read("report.log"), log);
  EXPECT_EQ(run.state().cycle_start, cycle_start);
  EXPECT_EQ(run.watchdog.next_due(), next_tick);
}

// A folder typed but not saved is not watched; once saved, the next tick watches it.
TEST(Save, TheWatchTakesTheFolderOnlyOnceSaved) {
  simulated_watchdog run{debug};
  run.load();
  run.install_companion();
  run.beat();
  run.window().path.text = run.companion_dir();
  run.advance(1000ms);
  EXPECT_EQ(run.window().checking.caption, "TELVANORE seems to be not installed.");
  const std::string folders_before = run.journal.folders;

  run.watchdog.save();
  run.advance(1000ms);
  EXPECT_EQ(run.window().checking.caption, "TELVANORE alive at: 2026/03/02 10:30:02");
  // The journal's entries name the folder watched from now on.
  EXPECT_EQ(run.journal.folders, run.state().base_dir + " " + run.companion_dir());
  EXPECT_NE(run.journal.folders, folders_before);
}

// A successful save is on the disk when it returns: the lines are flushed before
// the file takes the old one's place, and the folder after.
TEST(Save, BringsTheNewFileOntoTheDiskBeforeReplacingTheOld) {
  platform::posix_files real;
  testing::faulty_files files{real};
  simulated_watchdog run{debug, testing::default_start(), &files};
  run.load();
  std::vector<std::pair<file_operation, std::string>> operations;
  files.fails = [&](file_operation operation, const std::string& path) {
    operations.emplace_back(operation, path);
    return false;
  };
  run.watchdog.save();

  const std::string settings = settings_path(run.dir.path());
  ASSERT_GT(operations.size(), 4u);
  const std::string draft = operations[4].second;
  EXPECT_NE(draft, settings);
  EXPECT_EQ(std::filesystem::path{draft}.parent_path(), run.dir.path());
  const std::vector<std::pair<file_operation, std::string>> expected{
      {file_operation::file_behind, settings},  {file_operation::remove_drafts, settings},
      {file_operation::free_handle, ""},
      {file_operation::open_draft, settings},
      {file_operation::write_line, draft},      {file_operation::write_line, draft},
      {file_operation::write_line, draft},      {file_operation::write_line, draft},
      {file_operation::sync_file, draft},       {file_operation::close_file, draft},
      {file_operation::replace_file, settings}, {file_operation::flush_to_disk, settings},
  };
  EXPECT_EQ(operations, expected);
}

// Whichever step of a save fails before the new file is in place, the file on
// disk is the old one, whole; the button says the settings were not saved, the
// watch goes on, and the next save that succeeds puts the button right again.
// Once the new file is in place it is saved, even when the folder could not be
// brought onto the disk; the administrator hears of that.
TEST(Save, AFailingStepKeepsTheOldFileAndSaysSo) {
  const std::string old_file =
      crlf_text({"telvnor_path=/old", "Reboot=1", "Reboot24=1", "Reboot24_v=2"});
  const std::string new_file =
      crlf_text({"telvnor_path=/new", "Reboot=0", "Reboot24=1", "Reboot24_v=2"});
  constexpr int steps_of_a_save = 12;
  constexpr int removing_old_drafts = 1;
  constexpr int flushing_the_folder = steps_of_a_save - 1;
  for (int failing = 0; failing < steps_of_a_save; ++failing) {
    SCOPED_TRACE(failing);
    platform::posix_files real;
    testing::faulty_files files{real};
    simulated_watchdog run{debug, testing::default_start(), &files};
    run.dir.write("vrnskdm.ini", old_file);
    run.load();
    const lines others = names_in(run.dir.path(), "vrnskdm.ini");
    int step = 0;
    files.fails = [&](file_operation, const std::string&) { return step++ == failing; };
    run.window().path.text = "/new";
    run.window().reboot.set_value(0);
    run.watchdog.save();

    const bool in_place = failing == flushing_the_folder || failing == removing_old_drafts;
    EXPECT_EQ(run.window().save.caption, in_place ? "SAVE" : "UNSAVED");
    EXPECT_EQ(run.dir.read("vrnskdm.ini"), in_place ? new_file : old_file);
    EXPECT_EQ(run.journal.warnings.size(), failing == flushing_the_folder ? 1u : 0u);
    EXPECT_EQ(names_in(run.dir.path(), "vrnskdm.ini"), others);
    EXPECT_EQ(real.open_count(), 0u);

    run.advance(1000ms);
    EXPECT_EQ(run.window().checking.caption, "TELVANORE seems to be not installed.");

    files.fails = nullptr;
    run.watchdog.save();
    EXPECT_EQ(run.window().save.caption, "SAVE");
    EXPECT_EQ(run.dir.read("vrnskdm.ini"), new_file);
  }
}

struct in_the_way_case {
  const char* name;
  std::function<void(const testing::scratch_dir&)> make;
  bool saved;
};

// In a folder others may write in, whatever another user put beside the
// settings file neither blocks SAVE nor takes the settings file over; the disk
// refusing the draft keeps the old file.
TEST(Save, WhatStandsBesideTheSettingsFileNeitherBlocksNorTakesTheSave) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  const in_the_way_case cases[] = {
      {"another user's file at the old draft name",
       [](const testing::scratch_dir& dir) {
         dir.write("vrnskdm.ini.new", "theirs\r\n");
         ::chmod(dir.file("vrnskdm.ini.new").c_str(), 0666);
         ASSERT_EQ(::chown(dir.file("vrnskdm.ini.new").c_str(), 65534, 65534), 0);
       },
       true},
      {"a folder at the old draft name",
       [](const testing::scratch_dir& dir) { dir.make_folder("vrnskdm.ini.new"); }, true},
      {"the settings behind a link into a missing folder",
       [](const testing::scratch_dir& dir) {
         std::filesystem::rename(dir.file("vrnskdm.ini"), dir.file("kiosk.ini"));
         std::filesystem::create_symlink("missing/kiosk.ini", dir.file("vrnskdm.ini"));
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    simulated_watchdog run{debug};
    run.write_settings(1, 1, 2);
    std::filesystem::permissions(run.dir.path(), std::filesystem::perms{0777});
    c.make(run.dir);
    const std::string old_file = run.dir.read("vrnskdm.ini");
    run.load();
    const lines others = names_in(run.dir.path(), "vrnskdm.ini");
    run.window().reboot.set_value(0);
    run.watchdog.save();

    EXPECT_EQ(run.window().save.caption, c.saved ? "SAVE" : "UNSAVED");
    EXPECT_EQ(run.dir.read("vrnskdm.ini") == old_file, !c.saved);
    struct stat settings {};
    ASSERT_EQ(::lstat(run.dir.file("vrnskdm.ini").c_str(), &settings), 0);
    EXPECT_EQ(settings.st_uid, 0u);
    EXPECT_EQ(names_in(run.dir.path(), "vrnskdm.ini"), others);
    run.advance(1000ms);
    EXPECT_EQ(run.window().checking.caption, "TELVANORE seems to be not installed.");
  }
}

enum class left_as { file, folder, link };

struct left_behind {
  const char* name;
  left_as kind;
  uid_t owner;
  bool removed;
};

// A save cut short by a crash or a power cut leaves its draft beside the
// settings file: the next start, and the next save, remove this user's drafts,
// ordinary files of the draft's form of name, and nothing else.
TEST(Save, TheNextStartOrSaveRemovesOnlyThisUsersDraftsLeftBehind) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  const left_behind rows[] = {
      {"vrnskdm.ini.new-Ab3dEf7hIj", left_as::file, 0, true},
      {"vrnskdm.ini.new-0123456789", left_as::file, 65534, false},
      {"vrnskdm.ini.new-Ab3dEf7hI", left_as::file, 0, false},
      {"vrnskdm.ini.new-Ab3dEf7hIjk", left_as::file, 0, false},
      {"vrnskdm.ini.new-Ab3dEf7h_j", left_as::file, 0, false},
      {"vrnskdm.cfg.new-Ab3dEf7hIj", left_as::file, 0, false},
      {"vrnskdm.ini.new-FolderOfMe", left_as::folder, 0, false},
      {"vrnskdm.ini.new-LinkToMine", left_as::link, 0, false},
  };
  for (const bool at_save : {false, true}) {
    SCOPED_TRACE(at_save ? "at the save" : "at the start");
    simulated_watchdog run{debug};
    run.write_settings(1, 1, 2);
    if (at_save) run.load();
    for (const left_behind& row : rows) {
      const std::string path = run.dir.file(row.name);
      if (row.kind == left_as::folder) run.dir.make_folder(row.name);
      if (row.kind == left_as::link) std::filesystem::create_symlink("vrnskdm.ini", path);
      if (row.kind == left_as::file) run.dir.write(row.name, "telvnor_path=/cut");
      ASSERT_EQ(::lchown(path.c_str(), row.owner, row.owner), 0);
    }
    if (at_save) {
      run.watchdog.save();
    } else {
      run.load();
    }
    for (const left_behind& row : rows) {
      EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(run.dir.file(row.name))),
                !row.removed)
          << row.name;
    }
  }
}

// A settings file that is a link stays one: the save replaces the file it
// points to, which keeps its permissions.
TEST(Save, WritesThroughALinkAndKeepsThePermissions) {
  simulated_watchdog run{debug};
  run.write_settings(1, 1, 2);
  run.dir.make_folder("shared");
  std::filesystem::rename(run.dir.file("vrnskdm.ini"), run.dir.file("shared/kiosk.ini"));
  std::filesystem::permissions(run.dir.file("shared/kiosk.ini"), std::filesystem::perms{0640});
  std::filesystem::create_symlink("shared/kiosk.ini", run.dir.file("vrnskdm.ini"));
  run.load();
  run.window().reboot.set_value(0);
  const lines others = names_in(run.dir.file("shared"), "kiosk.ini");
  run.watchdog.save();

  EXPECT_EQ(run.window().save.caption, "SAVE");
  EXPECT_TRUE(std::filesystem::is_symlink(run.dir.file("vrnskdm.ini")));
  EXPECT_EQ(crlf_lines(run.dir.read("shared/kiosk.ini"))[1], "Reboot=0");
  EXPECT_EQ(std::filesystem::status(run.dir.file("shared/kiosk.ini")).permissions(),
            std::filesystem::perms{0640});
  EXPECT_EQ(names_in(run.dir.file("shared"), "kiosk.ini"), others);
}

// The file keeps one setting a line: a folder with a line break in it cannot be
// written without shifting the settings after it.
TEST(Save, AFolderWithALineBreakIsNotSaved) {
  for (const char* folder : {"/opt/a\nReboot=0", "/opt/a\r", "\n"}) {
    simulated_watchdog run{debug};
    run.write_settings(1, 1, 2);
    const std::string old_file = run.dir.read("vrnskdm.ini");
    run.load();
    run.window().path.text = folder;
    run.watchdog.save();
    EXPECT_EQ(run.window().save.caption, "UNSAVED");
    EXPECT_EQ(run.dir.read("vrnskdm.ini"), old_file);
    run.window().path.text = "/opt/a";
    run.watchdog.save();
    EXPECT_EQ(run.window().save.caption, "SAVE");
    EXPECT_EQ(testing::crlf_lines(run.dir.read("vrnskdm.ini")).at(0), "telvnor_path=/opt/a");
  }
}

// Files may grow only a few bytes while it lives, as on a disk that is full:
// writes past that fail, for real.
class nearly_full_disk {
 public:
  explicit nearly_full_disk(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    // Past the limit the kernel also sends SIGXFSZ, which would end the tests.
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, saved_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~nearly_full_disk() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_handler_);
  }

 private:
  rlimit saved_{};
  void (*previous_handler_)(int) = nullptr;
};

// A watchdog with settings on the disk and a change in the window, about to
// save it over them; what stood in its folder before.
struct about_to_save {
  about_to_save() {
    run.write_settings(1, 1, 2);
    old_file = run.dir.read("vrnskdm.ini");
    run.load();
    run.window().reboot24.set_value(0);
    others = names_in(run.dir.path(), "vrnskdm.ini");
  }
  simulated_watchdog run{debug};
  std::string old_file;
  lines others;
};

TEST(Save, ADiskFullKeepsTheOldFileAndSaysSo) {
  about_to_save saving;
  auto& [run, old_file, others] = saving;
  {
    const nearly_full_disk full{40};
    run.watchdog.save();
  }
  EXPECT_EQ(names_in(run.dir.path(), "vrnskdm.ini"), others);
  EXPECT_EQ(run.window().save.caption, "UNSAVED");
  EXPECT_EQ(run.dir.read("vrnskdm.ini"), old_file);
}

// A disk whose fsync never returns holds SAVE up for the flush's bound, once:
// the draft never taken by the disk is not put in place, and the watch goes on.
TEST(Save, AStalledDiskKeepsTheOldFileAndHoldsNothingUp) {
  about_to_save saving;
  auto& [run, old_file, others] = saving;
  const testing::stalled_disk stalled;
  for (const auto bound : {platform::flush_timeout, 0ms}) {
    SCOPED_TRACE(bound.count());
    const auto start = std::chrono::steady_clock::now();
    run.watchdog.save();
    EXPECT_LT(std::chrono::steady_clock::now() - start, bound + testing::at_once);
    EXPECT_EQ(run.window().save.caption, "UNSAVED");
    EXPECT_EQ(run.dir.read("vrnskdm.ini"), old_file);
    EXPECT_EQ(names_in(run.dir.path(), "vrnskdm.ini"), others);
    run.advance(1000ms);
    EXPECT_EQ(run.window().checking.caption, "TELVANORE seems to be not installed.");
  }
  EXPECT_EQ(stalled.fsyncs_begun(), 1);
}

// A choice in the selector acts only when the selector gives up the focus, and
// then counts from the start of the current period.
TEST(PeriodValidate, TheChosenPeriodActsFromTheNextTickOnceValidated) {
  simulated_watchdog run{debug};
  run.load();
  run.window().reboot_time.set_list_index(1);
  run.advance(1000ms);
  EXPECT_EQ(run.state().period_index, 0);
  EXPECT_EQ(run.window().deleteme.caption, "System will reboot at: 2026/03/03 10:30:00");

  run.watchdog.validate_period();
  EXPECT_EQ(run.state().period_index, 1);
  EXPECT_EQ(run.window().deleteme.caption, "System will reboot at: 2026/03/03 10:30:00");
  run.advance(1000ms);
  EXPECT_EQ(run.window().deleteme.caption, "System will reboot at: 2026/03/04 10:30:00");
  EXPECT_EQ(run.state().cycle_start, testing::default_start());
  EXPECT_FALSE(run.dir.exists("vrnskdm.ini"));
}

struct typed_case {
  const char* typed;
  int period_index;
  const char* shown;
};

// Typed text selects the entry of exactly that label; any other text leaves the
// period in use and the selector shows it again, so every tick can still look
// the period up.
TEST(PeriodValidate, TypedTextThatNamesNoEntryKeepsThePeriodInUse) {
  const typed_case cases[] = {
      {"2 Days", 1, "2 Days"},   {"30 Days", 7, "30 Days"},  {"5 Days", 3, "7 Days"},
      {"2 days", 3, "7 Days"},   {" 2 Days", 3, "7 Days"},   {"", 3, "7 Days"},
      {"24 Hours!", 3, "7 Days"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    simulated_watchdog run{debug};
    run.load();
    run.window().reboot_time.set_list_index(3);
    run.watchdog.validate_period();
    run.window().reboot_time.type_text(c.typed);
    run.watchdog.validate_period();

    EXPECT_EQ(run.state().period_index, c.period_index);
    EXPECT_EQ(run.window().reboot_time.list_index(), c.period_index);
    EXPECT_EQ(run.window().reboot_time.text(), c.shown);
    run.advance(1000ms);
    EXPECT_EQ(run.window().deleteme.caption.rfind("System will reboot at: ", 0), 0u);
  }
}

}  // namespace
}  // namespace vrnskdm::supervision
