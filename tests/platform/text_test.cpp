#include "platform/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vrnskdm::platform {
namespace {

struct number_case {
  const char* text;
  double expected;
};

// Settings values go through this reader; what it makes of odd text decides
// which period and switches the watchdog runs with.
TEST(ParseNumber, ReadsTheLeadingNumberOfAnyText) {
  const number_case cases[] = {
      {"1", 1},
      {"Reboot=1", 0},  // starts with no number
      {"", 0},
      {"abc", 0},
      {"  42  ", 42},
      {" 4 2 ", 42},  // blanks inside are removed too
      {"\t7\n", 7},
      {"-5", -5},
      {"+5", 5},
      {"- 5", -5},
      {"--5", 0},
      {"3.5", 3.5},
      {".5", 0.5},
      {"5.", 5},
      {".", 0},
      {"1e3", 1000},
      {"1E3", 1000},
      {"2.5e-1", 0.25},
      {"1e", 1},  // an exponent without digits is not part of the number
      {"1e+", 1},
      {"7x", 7},
      {"3days", 3},
      {"0012", 12},
      {"&H1F", 31},
      {"&hff", 255},
      {"&O17", 15},
      {"&o8", 0},
      {"&Hzz", 0},
      {"&", 0},
      {"1,5", 1},  // the decimal point is always "."
      {"\r1", 0},  // only blanks, tabs and line feeds are removed
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse_number(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ParseNumber, NumbersBeyondADoubleStayNumbers) {
  EXPECT_EQ(parse_number("1e999"), HUGE_VAL);
  EXPECT_EQ(parse_number("-1e999"), -HUGE_VAL);
  EXPECT_EQ(parse_number("1e-999"), 0);
  EXPECT_EQ(parse_number(std::string(400, '9')), HUGE_VAL);
}

TEST(ToInt16, RoundsHalvesToEvenAndRefusesWhatDoesNotFit) {
  const struct {
    double number;
    std::optional<std::int16_t> expected;
  } cases[] = {
      {0, 0},
      {2.5, 2},
      {3.5, 4},
      {-2.5, -2},
      {-3.5, -4},
      {0.5, 0},
      {1.5, 2},
      {2.4999, 2},
      {2.5001, 3},
      {32767, 32767},
      {32767.4, 32767},
      {32767.5, std::nullopt},  // even neighbour is 32768
      {32768, std::nullopt},
      {-32768, -32768},
      {-32768.5, -32768},
      {-32769, std::nullopt},
      {1e300, std::nullopt},
      {HUGE_VAL, std::nullopt},
      {-HUGE_VAL, std::nullopt},
      {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_int16(c.number), c.expected) << c.number;
  }
}

TEST(NumberText, GivesTheShortestDecimalText) {
  const struct {
    double number;
    const char* expected;
  } cases[] = {
      {24, "24"}, {720, "720"}, {0, "0"},     {-0.0, "0"},       {-3, "-3"},
      {0.5, "0.5"}, {28.5, "28.5"}, {179, "179"}, {32767, "32767"}, {-32768, "-32768"},
      {0.1, "0.1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(number_text(c.number), c.expected) << c.number;
  }
}

TEST(TimestampText, PadsEveryField) {
  EXPECT_EQ(timestamp_text(make_date_time(2026, 3, 2, 9, 5, 7)), "2026/03/02 09:05:07");
  EXPECT_EQ(timestamp_text(make_date_time(1999, 12, 31, 23, 59, 59)), "1999/12/31 23:59:59");
  EXPECT_EQ(timestamp_text(make_date_time(2028, 2, 29, 0, 0, 0)), "2028/02/29 00:00:00");
  EXPECT_EQ(time_of_day_text(make_date_time(2026, 3, 2, 0, 0, 9)), "00:00:09");
}

}  // namespace
}  // namespace vrnskdm::platform
