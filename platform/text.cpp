#include "text.h"

#include <locale.h>
#include <stdlib.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vrnskdm::platform {

using namespace std::chrono;

namespace {

struct clock_fields {
  int year;
  unsigned month, day;
  long hour, minute, second;
};

clock_fields split(date_time t) {
  const auto date = floor<days>(t);
  const year_month_day ymd{date};
  const hh_mm_ss<seconds> time{t - date};
  return {static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
          static_cast<unsigned>(ymd.day()), static_cast<long>(time.hours().count()),
          static_cast<long>(time.minutes().count()), static_cast<long>(time.seconds().count())};
}

// The "C" locale, so that the decimal point is always "."; the process's own
// only when there is no memory left even for that.
locale_t c_locale() {
  static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t{});
  return c != locale_t{} ? c : LC_GLOBAL_LOCALE;
}

bool is_removed_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool is_digit_in_base(char c, int base) {
  if (base == 8) return c >= '0' && c <= '7';
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The value of a digit that is_digit_in_base accepted.
int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

double parse_radix(std::string_view digits, int base) {
  double value = 0;
  for (const char c : digits) {
    if (!is_digit_in_base(c, base)) break;
    value = value * base + digit_value(c);
  }
  return value;
}

// Length of the decimal number at the start of text, sign and exponent included;
// 0 when there is none.
std::size_t decimal_length(std::string_view text) {
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t mantissa_digits = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa_digits += digits();
  }
  if (mantissa_digits == 0) return 0;
  const std::size_t mantissa_end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() > 0) return i;
  }
  return mantissa_end;
}

}  // namespace

std::string timestamp_text(date_time t) {
  const clock_fields f = split(t);
  std::array<char, 48> out{};
  std::snprintf(out.data(), out.size(), "%04d/%02u/%02u %02ld:%02ld:%02ld", f.year, f.month,
                f.day, f.hour, f.minute, f.second);
  return out.data();
}

std::string time_of_day_text(date_time t) {
  const clock_fields f = split(t);
  std::array<char, 32> out{};
  std::snprintf(out.data(), out.size(), "%02ld:%02ld:%02ld", f.hour, f.minute, f.second);
  return out.data();
}

double parse_number(std::string_view text) {
  std::string packed;
  packed.reserve(text.size());
  for (const char c : text) {
    if (!is_removed_blank(c)) packed.push_back(c);
  }
  const std::string_view s{packed};
  if (s.size() >= 2 && s[0] == '&') {
    if (s[1] == 'H' || s[1] == 'h') return parse_radix(s.substr(2), 16);
    if (s[1] == 'O' || s[1] == 'o') return parse_radix(s.substr(2), 8);
  }
  const std::size_t length = decimal_length(s);
  if (length == 0) return 0;
  // from_chars takes no leading '+'.
  const std::size_t skip = s[0] == '+' ? 1 : 0;
  double value = 0;
  const auto result = std::from_chars(s.data() + skip, s.data() + length, value);
  if (result.ec == std::errc::result_out_of_range) {
    // Beyond what a double holds, and from_chars does not say which way: the C
    // library does, infinity when too large and zero when too small. Neither the
    // exponent nor its sign tells alone: "0.000...1" has none, "1000...0e-5" is
    // large all the same.
    const std::string number{s.substr(0, length)};
    value = ::strtod_l(number.c_str(), nullptr, c_locale());
  }
  return value;
}

std::optional<std::int16_t> to_int16(double number) {
  if (!std::isfinite(number)) return std::nullopt;
  double nearest = std::round(number);
  if (std::fabs(number - std::trunc(number)) == 0.5) {
    nearest = 2.0 * std::round(number / 2.0);
  }
  if (nearest < -32768.0 || nearest > 32767.0) return std::nullopt;
  return static_cast<std::int16_t>(nearest);
}

std::string number_text(double number) {
  if (number == 0) return "0";  // no "-0"
  std::array<char, 64> out{};
  const auto result = std::to_chars(out.data(), out.data() + out.size(), number);
  return std::string(out.data(), result.ptr);
}

}  // namespace vrnskdm::platform
