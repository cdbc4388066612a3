#include "eventlog/log_event.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "support/faulty_files.h"
#include "support/scratch_dir.h"
#include "support/stand_ins.h"

namespace vrnskdm::eventlog {
namespace {

using testing::crlf_lines;

class LogEvent : public ::testing::Test {
 protected:
  void log(std::string_view message) {
    log_event(platform, dir.path(), platform::event::started, message);
  }

  // A log of exactly this many bytes, in whole lines.
  void fill_log(std::size_t bytes) {
    std::string text;
    while (text.size() + 42 <= bytes) text += std::string(38, 'x') + "\r\n";
    text += std::string(bytes - text.size() - 2, 'y') + "\r\n";
    dir.write("report.log", text);
  }

  testing::scratch_dir dir;
  platform::posix_files real_files;
  testing::faulty_files files{real_files};
  testing::simulated_clock clock{platform::make_date_time(2026, 3, 2, 10, 30, 5)};
  testing::simulated_events events{clock};
  testing::recording_restarter restart{clock};
  testing::recording_process proc;
  testing::recording_journal journal;
  platform::services platform{files, clock, events, restart, proc, &journal};
};

TEST_F(LogEvent, AMissingLogIsCreatedWithOneTimestampedLine) {
  log("VARNISKELDAM Restarted");
  EXPECT_EQ(dir.read("report.log"), "2026/03/02 10:30:05 VARNISKELDAM Restarted\r\n");
}

TEST_F(LogEvent, EntriesAreAppended) {
  log("one");
  clock.advance(std::chrono::seconds{61});
  log("two");
  EXPECT_EQ(dir.read("report.log"),
            "2026/03/02 10:30:05 one\r\n2026/03/02 10:31:06 two\r\n");
}

TEST_F(LogEvent, AnEmptyMessageStillGivesALine) {
  log("");
  EXPECT_EQ(dir.read("report.log"), "2026/03/02 10:30:05 \r\n");
}

TEST_F(LogEvent, ALogOfExactlyTheCapIsAppendedTo) {
  fill_log(64000);
  log("next");
  const auto lines = crlf_lines(dir.read("report.log"));
  EXPECT_EQ(lines.back(), "2026/03/02 10:30:05 next");
  EXPECT_EQ(std::filesystem::file_size(dir.file("report.log")), 64000u + 26u);
}

TEST_F(LogEvent, ALogOverTheCapIsEmptiedWithANoticeFirst) {
  fill_log(64001);
  log("next");
  EXPECT_EQ(dir.read("report.log"),
            "Event list exceeded 64k cleared.\r\n2026/03/02 10:30:05 next\r\n");
}

// The entry that crosses the cap is written whole; only the next one empties.
TEST_F(LogEvent, TheEntryThatCrossesTheCapIsKept) {
  fill_log(63990);
  log("crosses the cap");
  EXPECT_GT(std::filesystem::file_size(dir.file("report.log")), 64000u);
  log("after");
  EXPECT_EQ(crlf_lines(dir.read("report.log")).size(), 2u);
}

TEST_F(LogEvent, AnUnusableFolderLosesTheEntryQuietly) {
  log_event(platform, dir.file("missing"), platform::event::started, "lost");
  dir.make_folder("report.log");  // the log's name taken by a folder
  log("lost");
  EXPECT_FALSE(dir.exists("missing"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("report.log")));
}

// When only the length cannot be read, the log must not be emptied: it holds
// history that a failed look at it says nothing against.
TEST_F(LogEvent, ALogWhoseLengthCannotBeReadIsNeverEmptied) {
  fill_log(64001);
  files.fails = [](testing::file_operation op, const std::string&) {
    return op == testing::file_operation::file_length;
  };
  log("next");
  const auto lines = crlf_lines(dir.read("report.log"));
  EXPECT_EQ(lines.front(), std::string(38, 'x'));
  EXPECT_EQ(lines.back(), "2026/03/02 10:30:05 next");
}

TEST_F(LogEvent, AFailedOpenNeverEmptiesTheLog) {
  fill_log(64001);
  files.fails = [](testing::file_operation op, const std::string&) {
    return op == testing::file_operation::open_append;
  };
  log("lost");
  EXPECT_EQ(std::filesystem::file_size(dir.file("report.log")), 64001u);
}

TEST_F(LogEvent, EveryStepFailingInTurnLeavesNoFileOpen) {
  for (int failing = 0; failing < 8; ++failing) {
    fill_log(64001);
    int step = 0;
    files.fails = [&](testing::file_operation, const std::string&) { return step++ == failing; };
    log("entry");
    EXPECT_EQ(real_files.open_count(), 0u) << "step " << failing;
  }
}

// The journal keeps what the emptied or unwritable log cannot.
TEST_F(LogEvent, EveryEntryAlsoGoesToTheJournal) {
  fill_log(64001);
  log("first");
  log_event(platform, dir.file("missing"), platform::event::renewal, "second");
  EXPECT_EQ(journal.messages, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(journal.kinds,
            (std::vector<platform::event>{platform::event::started, platform::event::renewal}));
}

}  // namespace
}  // namespace vrnskdm::eventlog
