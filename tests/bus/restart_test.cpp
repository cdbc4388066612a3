#include "platform/restart.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/journal.h"
#include "platform/files.h"
#include "support/faulty_files.h"
#include "support/logind_mock.h"
#include "support/owned_fd.h"
#include "support/private_bus.h"
#include "support/simulated_watchdog.h"
#include "support/stand_in_journal.h"
#include "support/stand_ins.h"
#include "support/system_bus_redirect.h"
#include "support/temp_folder.h"

namespace vrnskdm::testing {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
using ::testing::ElementsAre;

using platform::answer_timeout;
using platform::logind_restarter;

struct timed_request {
  platform::restart_answer answer;
  steady_clock::duration took;
};

// Sends a request, then waits for the bell and takes the answer.
timed_request request_reboot_timed(logind_restarter& restarter, platform::answer_bell& bell,
                                   std::vector<std::string> to_flush) {
  const auto start = steady_clock::now();
  restarter.send_request(std::move(to_flush));
  EXPECT_LT(steady_clock::now() - start, at_once) << "sending waited on the bus";
  EXPECT_TRUE(bell_rings(bell, answer_timeout + scheduling_slack));
  const auto took = steady_clock::now() - start;
  std::optional<platform::restart_answer> answer = restarter.take_answer();
  EXPECT_TRUE(answer.has_value());
  EXPECT_FALSE(restarter.take_answer().has_value()) << "an answer is taken once";
  bell.silence();
  return {answer.value_or(platform::restart_answer{}), took};
}

timed_request request_reboot_timed(std::vector<std::string> to_flush = {}) {
  platform::answer_bell bell;
  logind_restarter restarter{&bell};
  return request_reboot_timed(restarter, bell, std::move(to_flush));
}

// What the flush of the log does on a request's way.
enum class log_flush { succeeds, fails, throws, hangs };

// The machine's files as a restarter flushes them, with the log's flush as the
// test says: a hang lasts until released, which may be after the test. The
// seam outlives it, held by the flush's thread through its files.
struct flush_seam {
  static std::shared_ptr<flush_seam> make() {
    auto seam = std::make_shared<flush_seam>();
    seam->files.fails = [shared = std::weak_ptr<flush_seam>{seam}](file_operation,
                                                                   const std::string& path) {
      const std::shared_ptr<flush_seam> self = shared.lock();
      std::unique_lock hold{self->lock};
      self->tried.push_back(path);
      if (!path.ends_with("/report.log")) return false;
      if (self->log == log_flush::throws) throw std::bad_alloc{};
      if (self->log == log_flush::hangs) {
        self->released.wait(hold, [&] { return self->log != log_flush::hangs; });
      }
      return self->log == log_flush::fails;
    };
    return seam;
  }
  void set(log_flush how) {
    const std::lock_guard hold{lock};
    log = how;
    released.notify_all();
  }
  std::vector<std::string> paths_tried() {
    const std::lock_guard hold{lock};
    return tried;
  }
  platform::posix_files real;
  faulty_files files{real};
  std::mutex lock;
  std::condition_variable released;
  log_flush log = log_flush::succeeds;
  std::vector<std::string> tried;
};

double milliseconds(steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Prints how long requests took, sorted copies of the times being cheap here.
void report(const std::string& what, std::vector<steady_clock::duration> times) {
  std::sort(times.begin(), times.end());
  std::cout << "[ measured ] " << what << ": median " << milliseconds(times[times.size() / 2])
            << " ms, slowest " << milliseconds(times.back()) << " ms over " << times.size()
            << " request(s)\n";
}

// Twenty requests in a row, each expected to be accepted or refused.
std::vector<steady_clock::duration> time_requests(bool accepted) {
  std::vector<steady_clock::duration> times;
  for (int i = 0; i < 20; ++i) {
    const timed_request request = request_reboot_timed();
    EXPECT_EQ(request.answer.accepted, accepted);
    times.push_back(request.took);
  }
  return times;
}

// A path where a socket file stays behind with nobody listening on it.
void leave_dead_socket(const std::string& path) {
  const owned_fd socket{::socket(AF_UNIX, SOCK_STREAM, 0)};
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
}

// A peer that hangs, held still for the length of one request, gives "no
// answer" within the timeout.
template <class peer>
void expect_hung_peer_gives_no_answer_in_time(const peer& hung, const std::string& what) {
  hung.freeze();
  const timed_request request = request_reboot_timed();
  hung.thaw();
  report(what + " never answers", {request.took});
  EXPECT_FALSE(request.answer.accepted);
  EXPECT_EQ(request.answer.failure, "no answer within 2 s");
  EXPECT_LT(request.took, answer_timeout + scheduling_slack);
}

// logind on a bus of the test's own, which requests find as the system bus.
class logind_on_private_bus : public ::testing::Test {
 protected:
  private_bus bus;
  logind_mock logind{bus};
  system_bus_redirect redirect{bus.address()};
};

// The files handed with the request go to the disk on its way; one that
// cannot counts against all.
TEST_F(logind_on_private_bus, accepted_request_is_one_non_interactive_reboot) {
  const temp_folder folder;
  std::ofstream{folder.file("report.log")} << "a line\r\n";
  const timed_request request = request_reboot_timed({folder.file("report.log")});
  EXPECT_TRUE(request.answer.accepted);
  EXPECT_EQ(request.answer.failure, "");
  EXPECT_TRUE(request.answer.flushed);
  EXPECT_FALSE(request_reboot_timed({folder.file("report.log"), folder.file("absent")}).answer.flushed);
  EXPECT_THAT(logind.calls(), ElementsAre("Reboot(false)", "Reboot(false)"));
}

// Each way logind turns a restart down is a refusal that names it, for the
// administrator; the request asks once and does not retry. A shutdown, restart
// or sleep already under way is told apart: after a restart of ours, it is that
// restart coming.
TEST_F(logind_on_private_bus, refusals_say_why) {
  const struct {
    const char* error;
    bool under_way;
  } rows[] = {
      {"org.freedesktop.DBus.Error.AccessDenied", false},
      {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", false},
      {"org.freedesktop.login1.OperationInProgress", true},
  };
  std::vector<std::string> expected_calls;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.error);
    logind.refuse_reboot(row.error);
    const timed_request request = request_reboot_timed();
    EXPECT_FALSE(request.answer.accepted);
    EXPECT_EQ(request.answer.under_way, row.under_way);
    EXPECT_EQ(request.answer.failure, std::string{row.error} + ": refused by the test");
    expected_calls.push_back("Reboot(false)");
    EXPECT_EQ(logind.calls(), expected_calls);
  }
}

// Whatever the log's flush does, the request goes, within the flush's bound,
// and the marker is flushed all the same when the log's flush failed. While a
// flush hangs the requests after it go at once, and start no flush beside it;
// once it ends, the next request flushes again.
TEST_F(logind_on_private_bus, a_flush_that_fails_breaks_off_or_hangs_holds_no_request_back) {
  const temp_folder folder;
  const std::string log = folder.file("report.log");
  const std::string marker = folder.file("delete.me");
  std::ofstream{log} << "a line\r\n";
  std::ofstream{marker} << "a line\r\n";
  const struct {
    log_flush how;
    const char* trouble;
    std::vector<std::string> tried;
  } rows[] = {
      {log_flush::fails, "", {log, marker}},
      {log_flush::throws, "out of memory", {log}},
      {log_flush::hangs, "still going on after 1 s", {log}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.trouble);
    const std::shared_ptr<flush_seam> seam = flush_seam::make();
    seam->set(row.how);
    platform::answer_bell bell;
    logind_restarter restarter{&bell, std::shared_ptr<platform::files>{seam, &seam->files}};
    const timed_request request = request_reboot_timed(restarter, bell, {log, marker});
    EXPECT_TRUE(request.answer.accepted);
    EXPECT_FALSE(request.answer.flushed);
    EXPECT_EQ(request.answer.flush_trouble, row.trouble);
    EXPECT_LT(request.took, platform::flush_timeout + at_once);
    EXPECT_EQ(seam->paths_tried(), row.tried);
    if (row.how != log_flush::hangs) continue;
    report("a flush that never returns", {request.took});
    const timed_request next = request_reboot_timed(restarter, bell, {log, marker});
    EXPECT_LT(next.took, at_once) << "the next request waited for the flush";
    EXPECT_EQ(next.answer.flush_trouble, row.trouble);
    EXPECT_EQ(seam->paths_tried(), row.tried) << "a flush began beside the one that hangs";
    seam->set(log_flush::succeeds);
    std::this_thread::sleep_for(100ms);  // for the flush's thread to end
    const timed_request after = request_reboot_timed(restarter, bell, {log, marker});
    EXPECT_TRUE(after.answer.flushed);
    EXPECT_EQ(after.answer.flush_trouble, "");
  }
  EXPECT_EQ(logind.calls().size(), 5u);
}

TEST_F(logind_on_private_bus, silent_logind_gives_no_answer_within_the_timeout) {
  expect_hung_peer_gives_no_answer_in_time(logind, "logind");
  // A program that ends waits for the answer instead, the same time at most.
  logind.freeze();
  logind_restarter restarter;
  restarter.send_request({});
  const std::optional<platform::restart_answer> answer =
      restarter.wait_for_answer(answer_timeout + scheduling_slack);
  logind.thaw();
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->failure, "no answer within 2 s");
  // It was asked, and did not answer in time.
  EXPECT_THAT(logind.calls(), ElementsAre("Reboot(false)", "Reboot(false)"));
}

// Once logind accepted the scheduled restart, it answers the series' next
// requests with OperationInProgress while the machine goes down: the restart
// coming, so neither a new line nor a warning.
TEST_F(logind_on_private_bus, an_accepted_restart_under_way_is_neither_logged_again_nor_warned) {
  const scratch_dir dir;
  recording_journal journal;
  simulated_clock clock{default_start()};
  simulated_events events{clock};
  platform::answer_bell bell;
  logind_restarter restart{&bell};
  platform::posix_files files{&journal};
  recording_process process;
  supervision::watchdog watchdog{platform::services{files, clock, events, restart, process, &journal},
                                 supervision::build::shipped};
  watchdog.load();
  ASSERT_TRUE(bell_rings(bell, answer_timeout + scheduling_slack));
  bell.silence();
  watchdog.run_due();
  // The service period ran out at the start.
  watchdog.supervisor().state.cycle_start = platform::add_hours(clock.now(), -25);
  const char* const answers[] = {nullptr, "org.freedesktop.login1.OperationInProgress"};
  for (const char* refusal : answers) {
    if (refusal != nullptr) logind.refuse_reboot(refusal);
    clock.advance(1s);
    watchdog.run_due();
    ASSERT_TRUE(bell_rings(bell, answer_timeout + scheduling_slack));
    bell.silence();
    watchdog.run_due();
  }
  EXPECT_THAT(logind.calls(), ElementsAre("CanReboot()", "Reboot(false)", "Reboot(false)"));
  EXPECT_THAT(log_messages(dir.read("report.log")),
              ElementsAre("VARNISKELDAM Restarted", "Shutdown. DELETE.ME found not deleted."));
  EXPECT_THAT(journal.warnings, ::testing::IsEmpty());
}

// On a disk whose flushes never end, the lock restart still reaches logind
// within the flush's bound, and its refusal is logged, also by a program that
// ends before the answer came; the scheduled restart after it goes without
// waiting; the administrator hears of the disk once.
TEST_F(logind_on_private_bus, a_disk_whose_flushes_never_end_keeps_no_restart_back) {
  const scratch_dir dir;
  dir.make_folder("telvnor");
  dir.write("telvnor/telvnor.exe", "");
  dir.write("vrnskdm.ini", crlf_text({"telvnor_path=" + dir.file("telvnor"), "Reboot=1",
                                      "Reboot24=1", "Reboot24_v=0"}));
  const std::shared_ptr<flush_seam> seam = flush_seam::make();
  recording_journal journal;
  simulated_clock clock{default_start()};
  simulated_events events{clock};
  platform::answer_bell bell;
  logind_restarter restart{&bell, std::shared_ptr<platform::files>{seam, &seam->files}};
  platform::posix_files files{&journal};
  recording_process process;
  supervision::watchdog watchdog{platform::services{files, clock, events, restart, process, &journal},
                                 supervision::build::shipped};
  supervision::supervisor& s = watchdog.supervisor();
  watchdog.load();
  ASSERT_TRUE(bell_rings(bell, answer_timeout + scheduling_slack));
  bell.silence();
  watchdog.run_due();

  seam->set(log_flush::hangs);
  logind.freeze();
  s.state.countdown = 0;  // the warning ran out with the companion silent
  clock.advance(1s);
  auto start = steady_clock::now();
  watchdog.run_due();
  EXPECT_LT(steady_clock::now() - start, at_once) << "the tick waited for the flush";
  watchdog.end();
  const auto ended_after = steady_clock::now() - start;
  logind.thaw();
  bell.silence();
  EXPECT_GE(ended_after, platform::request_timeout);
  EXPECT_LT(ended_after, platform::request_timeout + platform::answer_margin);
  EXPECT_THAT(log_messages(dir.read("report.log")),
              ElementsAre("VARNISKELDAM Restarted", "Shutdown for no TELVANORE response",
                          "VARNISKELDAM Unable to REBOOT!"));

  logind.refuse_reboot("org.freedesktop.DBus.Error.AccessDenied");
  s.state.cycle_start = platform::add_hours(clock.now(), -25);
  clock.advance(1s);
  start = steady_clock::now();
  watchdog.run_due();
  ASSERT_TRUE(bell_rings(bell, answer_timeout + scheduling_slack));
  EXPECT_LT(steady_clock::now() - start, at_once) << "the scheduled restart waited for the flush";
  watchdog.run_due();
  EXPECT_THAT(logind.calls(), ElementsAre("CanReboot()", "Reboot(false)", "Reboot(false)"));
  EXPECT_THAT(journal.warnings,
              ElementsAre(::testing::StartsWith("the restart was asked for without waiting for "
                                                "report.log and delete.me to reach the disk (still "
                                                "going on after 1 s)"),
                          "the restart was not made: no answer within 2 s",
                          ::testing::StartsWith("the restart was not made: "
                                                "org.freedesktop.DBus.Error.AccessDenied")));
}

// A bus daemon that hangs holds the request in the connection's handshake, where
// sd-bus's own call timeout does not reach.
TEST_F(logind_on_private_bus, hung_bus_gives_no_answer_within_the_timeout) {
  expect_hung_peer_gives_no_answer_in_time(bus, "bus daemon");
}

// logind's answers, yes or no, come long before the timeout; the figures are
// printed for anyone who runs the tests by hand.
TEST_F(logind_on_private_bus, request_timing) {
  const auto accepted = time_requests(true);
  logind.refuse_reboot("org.freedesktop.DBus.Error.AccessDenied");
  const auto refused = time_requests(false);
  report("accepted", accepted);
  report("refused", refused);
  EXPECT_LT(std::ranges::max(accepted), answer_timeout / 2);
  EXPECT_LT(std::ranges::max(refused), answer_timeout / 2);
  EXPECT_EQ(logind.calls().size(), accepted.size() + refused.size());
}

// An exception on a call's own thread ends the call, its reason the failure,
// and not the watchdog.
TEST(bus_call_thread, an_exception_there_is_the_calls_failure) {
  platform::answer_bell bell;
  platform::bus_call call{platform::bus_kind::system, {"org.example", "/", "org.example", "M"},
                          nullptr, &bell, answer_timeout, [] {
                            throw std::system_error{EAGAIN, std::generic_category(), "no thread"};
                          }};
  ASSERT_TRUE(bell_rings(bell, at_once));
  const std::optional<platform::bus_reply> reply = call.take();
  ASSERT_TRUE(reply.has_value());
  EXPECT_FALSE(reply->answered);
  EXPECT_EQ(reply->failure, "no thread: Resource temporarily unavailable");
}

TEST(logind_restarter_without_logind, bus_without_logind_refuses_at_once) {
  const private_bus bus;
  const system_bus_redirect redirect{bus.address()};
  const timed_request request = request_reboot_timed();
  report("no logind on the bus", {request.took});
  EXPECT_FALSE(request.answer.accepted);
  EXPECT_THAT(request.answer.failure, ::testing::StartsWith("org.freedesktop.DBus.Error."));
  EXPECT_LT(request.took, at_once);
}

TEST(logind_restarter_without_bus, no_bus_says_so_at_once) {
  const temp_folder folder;
  ASSERT_NO_FATAL_FAILURE(leave_dead_socket(folder.file("dead")));
  for (const std::string& socket : {folder.file("absent"), folder.file("dead")}) {
    SCOPED_TRACE(socket);
    const system_bus_redirect redirect{"unix:path=" + socket};
    const timed_request request = request_reboot_timed();
    report("no bus at " + socket, {request.took});
    EXPECT_FALSE(request.answer.accepted);
    EXPECT_EQ(request.answer.failure, "no system bus");
    EXPECT_LT(request.took, at_once);
  }
}

// The start-up asks logind whether a restart would be allowed, and the
// administrator finds a warning in the journal unless it would.
TEST(restart_permission_at_start, warns_in_the_journal_unless_logind_says_yes) {
  const struct {
    const char* can_reboot;  // nothing: no bus at all
    const char* warning;     // nothing: none
  } rows[] = {
      {"yes", nullptr},
      {"challenge",
       "logind answers \"challenge\" to CanReboot: a restart will be refused: this user may not "
       "restart the machine without a password; see the README's Allowing the restart"},
      {"no", "logind answers \"no\" to CanReboot: a restart will be refused: this user may not "
             "restart the machine; see the README's Allowing the restart"},
      {"na", "logind answers \"na\" to CanReboot: a restart will be refused: logind cannot "
             "restart this machine"},
      {"maybe", "logind answers \"maybe\" to CanReboot: a restart may be refused; see the "
                "README's Allowing the restart"},
      {nullptr, "logind did not say whether a restart is allowed (no system bus): "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.can_reboot != nullptr ? row.can_reboot : "no bus");
    std::optional<private_bus> bus;
    std::optional<logind_mock> logind;
    std::optional<system_bus_redirect> redirect;
    if (row.can_reboot != nullptr) {
      bus.emplace();
      logind.emplace(*bus, row.can_reboot);
      redirect.emplace(bus->address());
    }
    const temp_folder journal_folder;
    stand_in_journal stand_in{journal_folder.file("socket")};
    ASSERT_TRUE(stand_in.listening());
    platform::systemd_journal journal{journal_folder.file("socket")};
    const scratch_dir dir;
    simulated_clock clock{default_start()};
    simulated_events events{clock};
    platform::answer_bell bell;
    platform::logind_restarter restart{&bell};
    platform::posix_files files{&journal};
    recording_process process;
    supervision::watchdog watchdog{
        platform::services{files, clock, events, restart, process, &journal},
        supervision::build::shipped};
    watchdog.load();
    ASSERT_TRUE(bell_rings(bell, answer_timeout + scheduling_slack));
    watchdog.run_due();

    std::vector<std::string> warnings;
    for (std::string fields = stand_in.receive(); !fields.empty(); fields = stand_in.receive()) {
      const std::size_t message = fields.find("\nMESSAGE=");
      if (fields.find("\nPRIORITY=4\n") != std::string::npos && message != std::string::npos) {
        warnings.push_back(fields.substr(message + 9, fields.find('\n', message + 9) - message - 9));
      }
    }
    if (row.warning == nullptr) {
      EXPECT_THAT(warnings, ::testing::IsEmpty());
    } else {
      EXPECT_THAT(warnings, ElementsAre(::testing::StartsWith(row.warning)));
    }
    if (logind) {
      EXPECT_THAT(logind->calls(), ElementsAre("CanReboot()"));
    }
  }
}

}  // namespace
}  // namespace vrnskdm::testing
