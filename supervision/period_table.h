#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "supervisor_state.h"

namespace vrnskdm::supervision {

struct period_row {
  std::string_view label;
  double hours;
};

// The periods the operator can choose, in the selector's order.
inline constexpr std::array<period_row, 8> period_table{{
    {"24 Hours", 24},
    {"2 Days", 48},
    {"4 Days", 96},
    {"7 Days", 168},
    {"10 Days", 240},
    {"14 Days", 336},
    {"15 Days", 360},
    {"30 Days", 720},
}};

// True for an index that names one of the table's rows.
constexpr bool is_period_row(int index) {
  return index >= 0 && index < static_cast<int>(period_table.size());
}

// The hours in slot period_index of period_hours, or nothing when the index lies
// outside the eleven slots.
inline std::optional<double> period_of(const supervisor_state& state) {
  const auto slot = static_cast<std::uint16_t>(state.period_index);
  if (slot >= state.period_hours.size()) return std::nullopt;
  return state.period_hours[slot];
}

}  // namespace vrnskdm::supervision
