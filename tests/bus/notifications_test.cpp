#include "platform/notifications.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <optional>

#include "support/dbus_mock.h"
#include "support/private_bus.h"
#include "support/scoped_variable.h"

namespace vrnskdm::testing {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
using ::testing::ElementsAre;

// Long enough for a loaded machine running the sanitizer build.
constexpr int reply_within_ms = 3000;
// Nothing the notifier does waits on the bus.
constexpr auto without_waiting = 100ms;

// Waits, as the window's event loop does, for the bell, and then takes the
// replies.
bool reply_taken(platform::answer_bell& bell, platform::desktop_notifier& notifier) {
  pollfd ringing{bell.descriptor(), POLLIN, 0};
  if (::poll(&ringing, 1, reply_within_ms) != 1) return false;
  bell.silence();
  notifier.take_replies();
  return true;
}

// The notification service on a bus of the test's own, which the notifier
// finds as the session bus. A notification still shown when the program ends
// goes with it.
TEST(DesktopNotifier, ShowsOneCriticalNotificationAtATimeAndClosesItAfterItsShowing) {
  const private_bus bus;
  dbus_mock service{bus, notification_service};
  const scoped_variable session_bus{"DBUS_SESSION_BUS_ADDRESS", bus.address()};
  platform::answer_bell bell;
  {
    platform::desktop_notifier notifier{&bell};
    const auto start = steady_clock::now();
    notifier.show({"Summary", "Body"});
    notifier.close();  // before the service has answered with the notification's number
    EXPECT_LT(steady_clock::now() - start, without_waiting);
    ASSERT_TRUE(reply_taken(bell, notifier));  // the number: the close goes now
    ASSERT_TRUE(reply_taken(bell, notifier));
    notifier.show({"Again", "Body"});
    ASSERT_TRUE(reply_taken(bell, notifier));
  }

  EXPECT_THAT(service.calls(),
              ElementsAre(R"(Notify("vrnskdm", 0, "vrnskdm", "Summary", "Body", [], {"urgency": <y 2>}, 0))",
                          "CloseNotification(1)",
                          R"(Notify("vrnskdm", 0, "vrnskdm", "Again", "Body", [], {"urgency": <y 2>}, 0))",
                          "CloseNotification(2)"));
}

// Without a notification service, or without a session bus, the showing fails
// at once and quietly, and there is nothing to close.
TEST(DesktopNotifier, WithoutAServiceOrABusNothingIsShownAndNothingWaits) {
  for (const bool with_bus : {true, false}) {
    SCOPED_TRACE(with_bus ? "a bus without the service" : "no bus");
    std::optional<private_bus> bus;
    if (with_bus) bus.emplace();
    const scoped_variable session_bus{"DBUS_SESSION_BUS_ADDRESS",
                                      bus ? bus->address() : "unix:path=/nonexistent/vrnskdm-no-bus"};
    platform::answer_bell bell;
    platform::desktop_notifier notifier{&bell};
    const auto start = steady_clock::now();
    notifier.show({"Summary", "Body"});
    EXPECT_LT(steady_clock::now() - start, without_waiting);
    EXPECT_TRUE(reply_taken(bell, notifier));
    EXPECT_LT(steady_clock::now() - start, 1s);
    notifier.close();
    pollfd ringing{bell.descriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&ringing, 1, 200), 0) << "a close was sent for nothing shown";
  }
}

}  // namespace
}  // namespace vrnskdm::testing
