#include "platform/logind_restarter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iostream>
#include <vector>

#include "support/logind_mock.h"
#include "support/owned_fd.h"
#include "support/private_bus.h"
#include "support/system_bus_redirect.h"
#include "support/temp_folder.h"

namespace vrnskdm::testing {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
using ::testing::ElementsAre;

using platform::logind_restarter;

// What scheduling on a loaded machine, in the sanitizer build too, may add to a
// request that waits out its timeout.
constexpr auto scheduling_slack = 1s;
// An answer that needs no peer comes well before any timeout could run out.
constexpr auto at_once = 500ms;

struct timed_request {
  std::int32_t result;
  steady_clock::duration took;
};

timed_request request_reboot_timed() {
  logind_restarter restarter;
  const auto start = steady_clock::now();
  const std::int32_t result = restarter.request_reboot();
  return {result, steady_clock::now() - start};
}

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
    EXPECT_EQ(request.result != 0, accepted);
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

// A peer that hangs, held still for the length of one request, gets 0 within
// the timeout: the window must not wait on it.
template <class peer>
void expect_hung_peer_gives_0_in_time(const peer& hung, const std::string& what) {
  hung.freeze();
  const timed_request request = request_reboot_timed();
  hung.thaw();
  report(what + " never answers", {request.took});
  EXPECT_EQ(request.result, 0);
  EXPECT_LT(request.took, logind_restarter::answer_timeout + scheduling_slack);
}

// logind on a bus of the test's own, which requests find as the system bus.
class logind_on_private_bus : public ::testing::Test {
 protected:
  private_bus bus;
  logind_mock logind{bus};
  system_bus_redirect redirect{bus.address()};
};

TEST_F(logind_on_private_bus, accepted_request_is_one_non_interactive_reboot) {
  EXPECT_NE(request_reboot_timed().result, 0);
  EXPECT_THAT(logind.calls(), ElementsAre("Reboot(false)"));
}

// Each way logind turns a restart down gives 0; the request asks once and does
// not retry.
TEST_F(logind_on_private_bus, refusals_give_0) {
  const char* const refusals[] = {
      "org.freedesktop.DBus.Error.AccessDenied",
      "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
      "org.freedesktop.login1.OperationInProgress",
  };
  std::vector<std::string> expected_calls;
  for (const char* refusal : refusals) {
    SCOPED_TRACE(refusal);
    logind.refuse_reboot(refusal);
    EXPECT_EQ(request_reboot_timed().result, 0);
    expected_calls.push_back("Reboot(false)");
    EXPECT_EQ(logind.calls(), expected_calls);
  }
}

TEST_F(logind_on_private_bus, silent_logind_gives_0_within_the_timeout) {
  expect_hung_peer_gives_0_in_time(logind, "logind");
  // It was asked, and did not answer in time.
  EXPECT_THAT(logind.calls(), ElementsAre("Reboot(false)"));
}

// A bus daemon that hangs holds the request in the connection's handshake, where
// sd-bus's own call timeout does not reach.
TEST_F(logind_on_private_bus, hung_bus_gives_0_within_the_timeout) {
  expect_hung_peer_gives_0_in_time(bus, "bus daemon");
}

// logind's answers, yes or no, come long before the timeout; the figures are
// printed for anyone who runs the tests by hand.
TEST_F(logind_on_private_bus, request_timing) {
  const auto accepted = time_requests(true);
  logind.refuse_reboot("org.freedesktop.DBus.Error.AccessDenied");
  const auto refused = time_requests(false);
  report("accepted", accepted);
  report("refused", refused);
  EXPECT_LT(std::ranges::max(accepted), logind_restarter::answer_timeout / 2);
  EXPECT_LT(std::ranges::max(refused), logind_restarter::answer_timeout / 2);
  EXPECT_EQ(logind.calls().size(), accepted.size() + refused.size());
}

TEST(logind_restarter_without_logind, bus_without_logind_gives_0_at_once) {
  const private_bus bus;
  const system_bus_redirect redirect{bus.address()};
  const timed_request request = request_reboot_timed();
  report("no logind on the bus", {request.took});
  EXPECT_EQ(request.result, 0);
  EXPECT_LT(request.took, at_once);
}

TEST(logind_restarter_without_bus, no_bus_gives_0_at_once) {
  const temp_folder folder;
  ASSERT_NO_FATAL_FAILURE(leave_dead_socket(folder.file("dead")));
  for (const std::string& socket : {folder.file("absent"), folder.file("dead")}) {
    SCOPED_TRACE(socket);
    const system_bus_redirect redirect{"unix:path=" + socket};
    const timed_request request = request_reboot_timed();
    report("no bus at " + socket, {request.took});
    EXPECT_EQ(request.result, 0);
    EXPECT_LT(request.took, at_once);
  }
}

}  // namespace
}  // namespace vrnskdm::testing
