#include "platform/notifications.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "support/dbus_mock.h"
#include "support/private_bus.h"
#include "support/scoped_variable.h"

namespace vrnskdm::testing {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
using ::testing::ElementsAre;

// Waits, as the window's event loop does, for the bell, and then takes the
// replies.
bool reply_taken(platform::answer_bell& bell, platform::desktop_notifier& notifier) {
  if (!bell_rings(bell, platform::answer_timeout + scheduling_slack)) return false;
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
    EXPECT_LT(steady_clock::now() - start, at_once) << "showing waited on the bus";
    ASSERT_TRUE(reply_taken(bell, notifier));  // the number: the close goes now
    ASSERT_TRUE(reply_taken(bell, notifier));
    notifier.show({"Again", "Body"});
    ASSERT_TRUE(reply_taken(bell, notifier));
  }

  // The close at the end is sent as the notifier goes, and may reach the service
  // a moment later.
  const auto until = steady_clock::now() + platform::answer_timeout + scheduling_slack;
  while (service.calls().size() < 4 && steady_clock::now() < until) std::this_thread::sleep_for(20ms);
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
                                      bus ? bus->address() : no_bus_address};
    platform::answer_bell bell;
    platform::desktop_notifier notifier{&bell};
    const auto start = steady_clock::now();
    notifier.show({"Summary", "Body"});
    EXPECT_TRUE(reply_taken(bell, notifier));
    EXPECT_LT(steady_clock::now() - start, at_once) << "no bus or no service, yet it waited";
    notifier.close();
    EXPECT_FALSE(bell_rings(bell, 200ms)) << "a close was sent for nothing shown";
  }
}

}  // namespace
}  // namespace vrnskdm::testing
