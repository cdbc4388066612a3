#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>

// Entry points for the fuzzer and for replaying its corpus: each takes one input
// and throws broken_rule when the code under test breaks a rule; a crash or a
// sanitizer's report says the same.
namespace vrnskdm::fuzzing {

using input = std::span<const std::uint8_t>;

struct broken_rule : std::logic_error {
  using std::logic_error::logic_error;
};

inline void require(bool holds, const char* rule) {
  if (!holds) throw broken_rule{rule};
}

// The start-up reading a settings file of these bytes, then one watch tick.
void settings_file(input bytes);

// parse_number, to_int16 and number_text on a text of these bytes, and to_int16
// on a double of the first eight.
void numbers(input bytes);

// The machine's text-file reader on a file of these bytes.
void text_lines(input bytes);

}  // namespace vrnskdm::fuzzing
