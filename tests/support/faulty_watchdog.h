#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "faulty_files.h"
#include "simulated_watchdog.h"

namespace vrnskdm::testing {

using fault_rule = std::function<bool(file_operation, const std::string& path)>;

// The simulated program on files that fail as the rule says.
struct faulty_watchdog {
  faulty_watchdog(supervision::build kind, fault_rule rule)
      : files{real}, run{kind, default_start(), &files} {
    files.fails = std::move(rule);
  }

  platform::posix_files real;
  faulty_files files;
  simulated_watchdog run;
};

// A rule that fails every operation of one kind.
inline fault_rule failing(file_operation kind) {
  return [kind](file_operation operation, const std::string&) { return operation == kind; };
}

}  // namespace vrnskdm::testing
