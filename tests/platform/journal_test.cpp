#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "platform/journal.h"
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

// Events go as notices, warnings for the administrator as warnings, so that
// "journalctl -t vrnskdm -p warning" shows these alone.
TEST_F(SystemdJournal, SendsEachEventWithTheProgramsIdentifier) {
  stand_in_journal stand_in{socket_path};
  ASSERT_TRUE(stand_in.listening());
  journal.record("Shutdown for no TELVANORE response");
  std::string fields = stand_in.receive();
  EXPECT_NE(fields.find("SYSLOG_IDENTIFIER=vrnskdm\n"), std::string::npos) << fields;
  EXPECT_NE(fields.find("\nPRIORITY=5\n"), std::string::npos) << fields;
  EXPECT_NE(fields.find("\nMESSAGE=Shutdown for no TELVANORE response\n"), std::string::npos)
      << fields;

  journal.warn("a restart will be refused");
  fields = stand_in.receive();
  EXPECT_NE(fields.find("\nPRIORITY=4\n"), std::string::npos) << fields;
  EXPECT_NE(fields.find("\nMESSAGE=a restart will be refused\n"), std::string::npos) << fields;

  // A line break would end the field early: such a message goes with its
  // length, eight little-endian bytes, before it.
  journal.record("two\nlines");
  fields = stand_in.receive();
  const std::string message =
      "\nMESSAGE\n" + std::string("\x09\0\0\0\0\0\0\0", 8) + "two\nlines\n";
  EXPECT_NE(fields.find(message), std::string::npos) << fields;
}

// A journal that has stopped reading, or none at all, must never hold up the
// watchdog: the copies are lost, and every call returns at once.
TEST_F(SystemdJournal, NeverWaitsForAJournalThatDoesNotRead) {
  const auto started = std::chrono::steady_clock::now();
  journal.record("nobody listens");
  stand_in_journal stuck{socket_path};
  ASSERT_TRUE(stuck.listening());
  for (int event = 0; event < 2000; ++event) journal.record(std::string(200, 'x'));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_FALSE(stuck.receive().empty());

  // Nor does a standard error that nobody reads: a pipe fills after a few
  // hundred warnings. Drained afterwards, so that a warning stuck there ends.
  int pipe_ends[2];
  ASSERT_EQ(::pipe2(pipe_ends, O_CLOEXEC), 0);
  const int saved_stderr = ::dup(STDERR_FILENO);
  ::dup2(pipe_ends[1], STDERR_FILENO);
  auto warned = std::async(std::launch::async, [this] {
    for (int warning = 0; warning < 2000; ++warning) journal.warn(std::string(200, 'x'));
  });
  const bool returned = warned.wait_for(2s) == std::future_status::ready;
  ::fcntl(pipe_ends[0], F_SETFL, O_NONBLOCK);
  std::string drained(1 << 16, '\0');
  while (warned.wait_for(10ms) != std::future_status::ready) {
    static_cast<void>(::read(pipe_ends[0], drained.data(), drained.size()));
  }
  ::dup2(saved_stderr, STDERR_FILENO);
  for (const int end : {saved_stderr, pipe_ends[0], pipe_ends[1]}) ::close(end);
  EXPECT_TRUE(returned) << "a warning waited for standard error";
}

}  // namespace
}  // namespace vrnskdm::platform
