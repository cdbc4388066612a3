#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "fuzz_targets.h"
#include "platform/text.h"

namespace vrnskdm::fuzzing {

namespace {

// What to_int16 must give: the nearest integer, ties to even, as the C
// library rounds by default; nothing outside 16 bits.
std::optional<std::int16_t> expected_int16(double number) {
  if (!std::isfinite(number)) return std::nullopt;
  const double nearest = std::nearbyint(number);
  if (nearest < -32768 || nearest > 32767) return std::nullopt;
  return static_cast<std::int16_t>(nearest);
}

// What parse_number must give for a text with its blanks removed: for a
// decimal number, what the C library reads from the characters a decimal
// number can have; for &H and &O, the digits' value while a double holds it
// exactly.
std::optional<double> expected_number(const std::string& packed) {
  if (packed.size() >= 2 && packed[0] == '&') {
    const char kind = packed[1];
    const int base = kind == 'H' || kind == 'h' ? 16 : kind == 'O' || kind == 'o' ? 8 : 0;
    if (base != 0) {
      const std::string digits = packed.substr(
          2, packed.find_first_not_of(base == 16 ? "0123456789abcdefABCDEF" : "01234567", 2) - 2);
      if (digits.size() > 12) return std::nullopt;  // beyond exact, not checked here
      return digits.empty() ? 0.0 : static_cast<double>(std::stoull(digits, nullptr, base));
    }
  }
  static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
  const std::string decimal = packed.substr(0, packed.find_first_not_of("0123456789+-.eE"));
  return ::strtod_l(decimal.c_str(), nullptr, c_locale);
}

}  // namespace

void numbers(input data) {
  const std::string text{reinterpret_cast<const char*>(data.data()), data.size()};
  const double number = platform::parse_number(text);
  std::string packed;
  for (const char c : text) {
    if (c != ' ' && c != '\t' && c != '\n') packed.push_back(c);
  }
  require(platform::parse_number(packed) == number, "blanks, tabs and line feeds do not count");
  if (const auto expected = expected_number(packed)) {
    require(number == *expected, "the leading number is read as the C library reads it");
  }
  require(platform::to_int16(number) == expected_int16(number), "to_int16 rounds halves to even");
  if (std::isfinite(number)) {
    require(platform::parse_number(platform::number_text(number)) == number,
            "number_text reads back as the same number");
  }
  if (data.size() >= sizeof(double)) {
    double raw = 0;
    std::memcpy(&raw, data.data(), sizeof raw);
    require(platform::to_int16(raw) == expected_int16(raw), "to_int16 takes any double");
  }
}

}  // namespace vrnskdm::fuzzing
