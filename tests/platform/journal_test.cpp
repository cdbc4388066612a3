#include "platform/journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <set>
#include <string>

#include "support/stand_in_journal.h"
#include "support/temp_folder.h"

namespace vrnskdm::platform {
namespace {

using testing::stand_in_journal;

using namespace std::chrono_literals;

class SystemdJournal : public ::testing::Test {
 protected:
  testing::temp_folder folder;
  std::string socket_path = folder.file("socket");
  systemd_journal journal{socket_path};
};

struct entry_row {
  event kind;
  bool warning;  // through warn(), else record()
  std::string_view message;
  std::string_view message_id;  // as shipped: fleets search by it
  char priority;
};

// Events go as notices, warnings for the administrator as warnings, so that
// "journalctl -t vrnskdm -p warning" shows these alone; each kind with its
// fixed id.
constexpr entry_row entry_rows[] = {
    {event::started, false, "VARNISKELDAM Restarted", "477aad350e5f40b39f93dfd8234e7caf", '5'},
    {event::outage_begun, false, "silent", "074f3f944efc4509a9f4f2f618ff36ce", '5'},
    {event::outage_over, false, "back", "7fdeac10b87d4a4ca930100e3a0ab5b7", '5'},
    {event::lock_restart, false, "Shutdown for no TELVANORE response",
     "9af759a5b3664f3089d8d6c2be2355df", '5'},
    {event::scheduled_restart, false, "Shutdown. DELETE.ME found not deleted.",
     "012cc8802e2a43248f8fb35c1531abb6", '5'},
    {event::renewal, false, "Timeout check performed. DELETE.ME created.",
     "ad0bcd0edcba49bcb099a0ce71888e58", '5'},
    {event::restart_refused, false, "VARNISKELDAM Unable to REBOOT!",
     "52946717df614f8d897f7221f9a8b5f2", '5'},
    {event::debug_lock_restart, false, "Reboot not performed because debug mode is active.",
     "3a0b69a436ea482797dba0061f9a0533", '5'},
    {event::debug_scheduled_restart, false, "Reboot not executed. Debug mode is active.",
     "313946ed8dde4ca38e6cb3d42ceb9fb4", '5'},
    {event::overlay_shown, false, "route", "18fb90c6494a4efaa695fd445eab3843", '5'},
    {event::overlay_unavailable, false, "no route", "8019f21a12e8476e8a4630a1ef056069", '5'},
    {event::folder_taken, true, "taken", "b8b55aa708c54b89b70b7e1bd59bd8fd", '4'},
    {event::link_refused, true, "link", "8738a4f160394cb4a9ad9a056a013412", '4'},
    {event::heartbeat_undeletable, true, "heartbeat", "f192a43172b048758bdf3812cfa2717a", '4'},
    {event::marker_unwritable, true, "marker", "a00a53c94a834f82a2c316025d3f5d63", '4'},
    {event::settings_not_on_disk, true, "settings", "8cf35753f8b64d148591078c51bde8a0", '4'},
    {event::restart_not_made, true, "not made", "4983cbafc6ae49a1b8cfc9317ba75041", '4'},
    {event::restart_not_allowed, true, "a restart will be refused",
     "85fd52546bc3453eb562f116dcc9f3e4", '4'},
    {event::overlay_ended, true, "band ended", "836c6dd5b1264187a5bba5d419abc778", '4'},
};

TEST_F(SystemdJournal, SendsEachEntryWithItsKindsIdAndTheFolders) {
  stand_in_journal stand_in{socket_path};
  ASSERT_TRUE(stand_in.listening());
  journal.set_folders("/home/kiosk/vrnskdm", "/opt/telvnor");
  for (const entry_row& row : entry_rows) {
    if (row.warning) {
      journal.warn(row.kind, row.message);
    } else {
      journal.record(row.kind, row.message);
    }
    const std::string fields = stand_in.receive();
    EXPECT_EQ(fields,
              "SYSLOG_IDENTIFIER=vrnskdm\nPRIORITY=" + std::string(1, row.priority) +
                  "\nMESSAGE_ID=" + std::string{row.message_id} +
                  "\nVRNSKDM_FOLDER=/home/kiosk/vrnskdm\nVRNSKDM_COMPANION_FOLDER=/opt/telvnor"
                  "\nMESSAGE=" +
                  std::string{row.message} + "\n");
  }
  EXPECT_EQ(std::size(entry_rows), event_identities.size());

  // A line break would end the field early: such a value goes with its length,
  // eight little-endian bytes, before it.
  journal.set_folders("/home/two\nlines", "");
  journal.record(event::started, "two\nlines");
  const std::string fields = stand_in.receive();
  for (const std::string& field :
       {"\nVRNSKDM_FOLDER\n" + std::string("\x0f\0\0\0\0\0\0\0", 8) + "/home/two\nlines\n",
        std::string{"\nVRNSKDM_COMPANION_FOLDER=\n"},
        "\nMESSAGE\n" + std::string("\x09\0\0\0\0\0\0\0", 8) + "two\nlines\n"}) {
    EXPECT_NE(fields.find(field), std::string::npos) << fields;
  }
}

// Each id explains itself in the catalog that journalctl -x reads, and the
// catalog explains no id the watchdog does not write.
TEST(JournalCatalog, ExplainsEveryKindAndNoOther) {
  std::ifstream catalog{VRNSKDM_CATALOG};
  ASSERT_TRUE(catalog) << VRNSKDM_CATALOG;
  std::set<std::string> explained;
  for (std::string line; std::getline(catalog, line);) {
    if (line.starts_with("-- ")) explained.insert(line.substr(3));
  }
  std::set<std::string> written;
  for (const event_identity& identity : event_identities) {
    EXPECT_EQ(identity.message_id.size(), 32u) << identity.message_id;
    written.insert(std::string{identity.message_id});
  }
  EXPECT_EQ(written.size(), event_identities.size()) << "an id serves two kinds";
  EXPECT_EQ(explained, written);
}

// A journal that has stopped reading, or none at all, must never hold up the
// watchdog: the copies are lost, and every call returns at once.
TEST_F(SystemdJournal, NeverWaitsForAJournalThatDoesNotRead) {
  const auto started = std::chrono::steady_clock::now();
  journal.record(event::started, "nobody listens");
  stand_in_journal stuck{socket_path};
  ASSERT_TRUE(stuck.listening());
  for (int event = 0; event < 2000; ++event) journal.record(event::started, std::string(200, 'x'));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_FALSE(stuck.receive().empty());

  // Nor does a standard error that nobody reads: a pipe fills after a few
  // hundred warnings. Drained afterwards, so that a warning stuck there ends.
  int pipe_ends[2];
  ASSERT_EQ(::pipe2(pipe_ends, O_CLOEXEC), 0);
  const int saved_stderr = ::dup(STDERR_FILENO);
  ::dup2(pipe_ends[1], STDERR_FILENO);
  auto warned = std::async(std::launch::async, [this] {
    for (int warning = 0; warning < 2000; ++warning) journal.warn(event::link_refused, std::string(200, 'x'));
  });
  const bool returned = warned.wait_for(2s) == std::future_status::ready;
  ::fcntl(pipe_ends[0], F_SETFL, O_NONBLOCK);
  std::string drained(1 << 16, '\0');
  while (warned.wait_for(10ms) != std::future_status::ready) {
    // Empty for now (EAGAIN) while the warnings come; anything else is a fault of the pipe.
    if (::read(pipe_ends[0], drained.data(), drained.size()) < 0) {
      EXPECT_EQ(errno, EAGAIN);
    }
  }
  ::dup2(saved_stderr, STDERR_FILENO);
  for (const int end : {saved_stderr, pipe_ends[0], pipe_ends[1]}) ::close(end);
  EXPECT_TRUE(returned) << "a warning waited for standard error";
}

}  // namespace
}  // namespace vrnskdm::platform
