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

// Notify as the service's template has it, and as a service that ignores the
// notification a showing replaces: each showing a new one.
constexpr const char* notify_interface = "org.freedesktop.Notifications";
constexpr const char* notify_arguments = "susssasa{sv}i";
constexpr const char* replacing_when_asked =
    "if args[1]:\n    ret = args[1]\nelse:\n    ret = self.next_id\n    self.next_id += 1\n";
constexpr const char* new_number_each_time = "ret = self.next_id\nself.next_id += 1\n";

// Waits, as the window's event loop does, for the bell, and then takes the
// replies.
bool reply_taken(platform::answer_bell& bell, platform::desktop_notifier& notifier) {
  if (!bell_rings(bell, platform::answer_timeout + scheduling_slack)) return false;
  bell.silence();
  notifier.take_replies();
  return true;
}

// Takes the replies that come until none has come for a while.
void take_replies_until_quiet(platform::answer_bell& bell, platform::desktop_notifier& notifier) {
  while (bell_rings(bell, 500ms)) {
    bell.silence();
    notifier.take_replies();
  }
}

// The notification service on a bus of the test's own, which the notifier
// finds as the session bus. No notification is left behind: one whose showing
// is answered after the bound stays only while still wanted and is otherwise
// closed once its number comes, a show after a close replaces the one still on
// its way, and a notification still shown, or on its way, when the program ends
// goes with it.
TEST(DesktopNotifier, ShowsOneCriticalNotificationAtATimeAndClosesItAfterItsShowing) {
  const private_bus bus;
  dbus_mock service{bus, notification_service};
  const scoped_variable session_bus{"DBUS_SESSION_BUS_ADDRESS", bus.address()};
  platform::answer_bell bell;
  std::thread thaw_later;
  {
    platform::desktop_notifier notifier{&bell};
    const auto start = steady_clock::now();
    notifier.show({"Summary", "Body"});
    notifier.close();  // before the service has answered with the notification's number
    EXPECT_LT(steady_clock::now() - start, at_once) << "showing waited on the bus";
    ASSERT_TRUE(reply_taken(bell, notifier));  // the number: the close goes now
    ASSERT_TRUE(reply_taken(bell, notifier));

    // A showing answered after the bound: kept while still wanted, closed when a
    // close or a newer show came meanwhile; kept in place of the one it was to
    // replace, which is closed, when a service that ignores what a showing
    // replaces shows it beside.
    enum class meanwhile { nothing, close, newer_show, beside };
    for (const meanwhile came :
         {meanwhile::nothing, meanwhile::close, meanwhile::newer_show, meanwhile::beside}) {
      SCOPED_TRACE(::testing::Message() << "row " << static_cast<int>(came));
      if (came == meanwhile::beside) {
        notifier.show({"Shown", "Body"});
        ASSERT_TRUE(reply_taken(bell, notifier));
        service.redefine(notify_interface, "Notify", notify_arguments, "u", new_number_each_time);
      }
      service.freeze();
      notifier.show({"Late", "Body"});
      std::this_thread::sleep_for(platform::answer_timeout + 100ms);
      notifier.take_replies();  // a tick after the bound gives the showing up
      if (came == meanwhile::close) notifier.close();
      if (came == meanwhile::newer_show) notifier.show({"Newer", "Body"});
      service.thaw();
      ASSERT_TRUE(reply_taken(bell, notifier));
      take_replies_until_quiet(bell, notifier);  // the other answers, in this tick or later
      if (came == meanwhile::nothing) {
        EXPECT_EQ(service.calls().size(), 3U) << "the warning still wanted was closed";
      }
      if (came != meanwhile::close) {
        notifier.close();
        ASSERT_TRUE(reply_taken(bell, notifier));
      }
    }
    service.redefine(notify_interface, "Notify", notify_arguments, "u", replacing_when_asked);

    notifier.show({"Again", "Body"});
    notifier.close();
    notifier.show({"Third", "Body"});
    ASSERT_TRUE(reply_taken(bell, notifier));  // the number: the third goes now, in its place
    ASSERT_TRUE(reply_taken(bell, notifier));
    notifier.close();
    ASSERT_TRUE(reply_taken(bell, notifier));

    // The program ends with a showing given up, and the one after it, answered
    // later than a close takes.
    service.freeze();
    notifier.show({"Given up", "Body"});
    std::this_thread::sleep_for(platform::answer_timeout + 100ms);
    notifier.take_replies();
    notifier.show({"Last", "Body"});
    thaw_later = std::thread{[&service] {
      std::this_thread::sleep_for(700ms);
      service.thaw();
    }};
  }
  thaw_later.join();

  // The close at the end is sent as the notifier goes, and may reach the service
  // a moment later.
  const auto until = steady_clock::now() + platform::answer_timeout + scheduling_slack;
  while (service.calls().size() < 21 && steady_clock::now() < until) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_THAT(service.calls(),
              ElementsAre(R"(Notify("vrnskdm", 0, "vrnskdm", "Summary", "Body", [], {"urgency": <y 2>}, 0))",
                          "CloseNotification(1)",
                          R"(Notify("vrnskdm", 0, "vrnskdm", "Late", "Body", [], {"urgency": <y 2>}, 0))",
                          "CloseNotification(2)",
                          R"(Notify("vrnskdm", 0, "vrnskdm", "Late", "Body", [], {"urgency": <y 2>}, 0))",
                          "CloseNotification(3)",
                          R"(Notify("vrnskdm", 0, "vrnskdm", "Late", "Body", [], {"urgency": <y 2>}, 0))",
                          R"(Notify("vrnskdm", 0, "vrnskdm", "Newer", "Body", [], {"urgency": <y 2>}, 0))",
                          "CloseNotification(4)",
                          "CloseNotification(5)",
                          R"(Notify("vrnskdm", 0, "vrnskdm", "Shown", "Body", [], {"urgency": <y 2>}, 0))",
                          R"(Notify("vrnskdm", 6, "vrnskdm", "Late", "Body", [], {"urgency": <y 2>}, 0))",
                          "CloseNotification(6)",
                          "CloseNotification(7)",
                          R"(Notify("vrnskdm", 0, "vrnskdm", "Again", "Body", [], {"urgency": <y 2>}, 0))",
                          R"(Notify("vrnskdm", 8, "vrnskdm", "Third", "Body", [], {"urgency": <y 2>}, 0))",
                          "CloseNotification(8)",
                          R"(Notify("vrnskdm", 0, "vrnskdm", "Given up", "Body", [], {"urgency": <y 2>}, 0))",
                          R"(Notify("vrnskdm", 0, "vrnskdm", "Last", "Body", [], {"urgency": <y 2>}, 0))",
                          "CloseNotification(9)",
                          "CloseNotification(10)"));
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
