#pragma once

// Texts of dates, times and numbers as the watchdog writes and reads them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "clock.h"

namespace vrnskdm::platform {

// "YYYY/MM/DD HH:MM:SS", 24-hour clock.
std::string timestamp_text(date_time t);

// "HH:MM:SS".
std::string time_of_day_text(date_time t);

// The number a text starts with, once every blank, tab and line feed has been
// removed from it: optional sign, digits, optional "." and fraction, optional
// exponent; or hexadecimal digits after "&H", octal digits after "&O". A text that
// starts with no number gives 0. Never depends on the locale.
double parse_number(std::string_view text);

// The nearest integer, halves going to the even neighbour (2.5 gives 2, 3.5 gives 4);
// nothing when that lies outside -32768 to 32767 or the number is not a number.
std::optional<std::int16_t> to_int16(double number);

// The shortest decimal text that reads back as the same number: 24 gives "24",
// 0.5 gives "0.5", -3 gives "-3".
std::string number_text(double number);

}  // namespace vrnskdm::platform
