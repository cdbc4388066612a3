#pragma once

#include <optional>
#include <string>

namespace vrnskdm::testing {

// Sets an environment variable for as long as it lives, then puts back the
// value it had, or unsets it again.
class scoped_variable {
 public:
  scoped_variable(std::string name, const std::string& value);
  ~scoped_variable();
  scoped_variable(const scoped_variable&) = delete;
  scoped_variable& operator=(const scoped_variable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace vrnskdm::testing
