#include "platform/journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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
    {event::log_not_on_disk, true, "disk", "2a89349078024fabacdea2c7466a8b77", '4'},
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

}

struct standard_error_case {
  const char* name;
  std::function<bool(int ends[2])> make;  // the reader's end, then the program's
  uid_t user;                             // the watchdog acts as; 0 for this user
  bool reached;  // false for a terminal it can neither open nor has as its own
};

std::size_t open_descriptors() {
  const std::filesystem::directory_iterator entries{"/proc/self/fd"};
  return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

// Nor does a standard error that nobody reads, and a pipe fills after a few
// hundred warnings: a pipe or a terminal, one of another user (runuser -u kiosk
// -- vrnskdm | tee), a service's journal stream. A reader that reads has every
// line, whole; the shared descriptor is never made non-blocking, and no
// warning keeps a descriptor open.
TEST_F(SystemdJournal, NeverWaitsForAStandardErrorThatDoesNotRead) {
  const auto pipe = [](int ends[2]) { return ::pipe2(ends, O_CLOEXEC) == 0; };
  const auto terminal = [](int ends[2]) {
    ends[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (ends[0] < 0 || ::grantpt(ends[0]) != 0 || ::unlockpt(ends[0]) != 0) return false;
    ends[1] = ::open(::ptsname(ends[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return ends[1] >= 0;
  };
  const standard_error_case cases[] = {
      {"a pipe", pipe, 0, true},
      {"a stream socket",
       [](int ends[2]) { return ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0; },
       0, true},
      {"a terminal", terminal, 0, true},
      {"another user's pipe", pipe, 65534, true},
      {"another user's terminal", terminal, 65534, false},
  };
  for (const standard_error_case& c : cases) {
    SCOPED_TRACE(c.name);
    const uid_t self = ::geteuid();
    // The rows for another user come last, as they are left out without root.
    if (c.user != 0 && self != 0) GTEST_SKIP() << "acting as another user needs root";
    int ends[2];
    ASSERT_TRUE(c.make(ends));
    const int flags = ::fcntl(ends[1], F_GETFL);
    const bool is_terminal = ::isatty(ends[1]) == 1;
    const int saved_stderr = ::dup(STDERR_FILENO);
    ::dup2(ends[1], STDERR_FILENO);
    const std::size_t descriptors = open_descriptors();
    ASSERT_EQ(::seteuid(c.user != 0 ? c.user : self), 0);
    auto warned = std::async(std::launch::async, [this] {
      for (int warning = 0; warning < 2000; ++warning) {
        journal.warn(event::link_refused, std::string(200, 'x'));
      }
    });
    const bool returned = warned.wait_for(2s) == std::future_status::ready;
    // Drained, so that a warning stuck there ends.
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    std::string read(1 << 16, '\0');
    std::string lines;
    const auto drain = [&] {
      for (ssize_t got; (got = ::read(ends[0], read.data(), read.size())) > 0;) {
        lines.append(read, 0, static_cast<std::size_t>(got));
      }
    };
    while (warned.wait_for(10ms) != std::future_status::ready) drain();
    drain();
    // Read, it takes what it took in part and the next line.
    journal.warn(event::link_refused, std::string(200, 'x'));
    ASSERT_EQ(::seteuid(self), 0);
    drain();
    EXPECT_TRUE(returned) << "a warning waited for standard error";
    EXPECT_EQ(open_descriptors(), descriptors);
    EXPECT_EQ(::fcntl(ends[1], F_GETFL), flags);
    ::dup2(saved_stderr, STDERR_FILENO);
    for (const int end : {saved_stderr, ends[0], ends[1]}) ::close(end);
    const std::string line = "vrnskdm: " + std::string(200, 'x') + "\n";
    if (is_terminal) std::erase(lines, '\r');  // its line end
    EXPECT_GE(lines.size(), c.reached ? line.size() : 0);
    EXPECT_EQ(lines.size() % line.size(), 0u) << "half a line";
    EXPECT_EQ(lines.find_first_not_of(line), std::string::npos);
  }
}

}  // namespace
}  // namespace vrnskdm::platform
