#include "platform/clock.h"

#include <gtest/gtest.h>

#include <ctime>

#include "platform/text.h"
#include "support/scoped_variable.h"
#include "support/time_zone.h"

namespace vrnskdm::platform {
namespace {

TEST(HoursBetween, CountsHourBoundariesNotHoursElapsed) {
  const auto at = [](int day, int hour, int minute) {
    return make_date_time(2026, 3, day, hour, minute, 0);
  };
  EXPECT_EQ(hours_between(at(2, 10, 59), at(2, 11, 0)), 1);
  EXPECT_EQ(hours_between(at(2, 10, 0), at(2, 10, 59)), 0);
  EXPECT_EQ(hours_between(at(2, 10, 30), at(3, 10, 0)), 24);
  EXPECT_EQ(hours_between(at(2, 10, 30), at(3, 9, 59)), 23);
  EXPECT_EQ(hours_between(at(3, 10, 0), at(2, 10, 0)), -24);
  EXPECT_EQ(hours_between(at(2, 10, 30), at(2, 10, 30)), 0);
  // Across a month end and a leap day.
  EXPECT_EQ(hours_between(make_date_time(2028, 2, 28, 23, 0, 0), make_date_time(2028, 3, 1, 0, 0, 0)),
            25);
}

TEST(AddHours, AddsWallClockHoursExactly) {
  const auto start = make_date_time(2026, 3, 2, 10, 30, 0);
  EXPECT_EQ(add_hours(start, 24), make_date_time(2026, 3, 3, 10, 30, 0));
  EXPECT_EQ(add_hours(start, 720), make_date_time(2026, 4, 1, 10, 30, 0));
  EXPECT_EQ(add_hours(start, 0), start);
  EXPECT_EQ(add_hours(start, 0.5), make_date_time(2026, 3, 2, 11, 0, 0));
}

// One real hour across the spring change is two hours on the wall clock, and
// across the autumn change none: the count follows the wall clock.
TEST(HoursBetween, FollowsTheWallClockAcrossDaylightSavingChanges) {
  const testing::time_zone rome{"Europe/Rome"};
  // 2026-03-29 01:30 CET is 00:30 UTC; one real hour later the wall shows 03:30.
  const std::time_t spring = 1774744200;
  ASSERT_EQ(timestamp_text(to_local(spring)), "2026/03/29 01:30:00");
  ASSERT_EQ(timestamp_text(to_local(spring + 3600)), "2026/03/29 03:30:00");
  EXPECT_EQ(hours_between(to_local(spring), to_local(spring + 3600)), 2);

  // 2026-10-25 02:30 CEST is 00:30 UTC; one real hour later the wall shows 02:30 CET.
  const std::time_t autumn = 1792888200;
  ASSERT_EQ(timestamp_text(to_local(autumn)), "2026/10/25 02:30:00");
  ASSERT_EQ(timestamp_text(to_local(autumn + 3600)), "2026/10/25 02:30:00");
  EXPECT_EQ(hours_between(to_local(autumn), to_local(autumn + 3600)), 0);
  EXPECT_EQ(hours_between(to_local(autumn), to_local(autumn + 2 * 3600)), 1);
}

// A kiosk's time zone may be set while the watchdog runs: the next reading of
// the clock is in the new zone, though nobody told the C library.
TEST(RealClock, FollowsAChangeOfTimeZone) {
  const testing::time_zone utc{"UTC0"};
  real_clock clock;
  const date_time before = clock.now();
  const testing::scoped_variable tokyo{"TZ", "JST-9"};
  const date_time after = clock.now();
  EXPECT_GE(after - before, std::chrono::hours{9});
  EXPECT_LT(after - before, std::chrono::hours{9} + std::chrono::minutes{1});
}

}  // namespace
}  // namespace vrnskdm::platform
