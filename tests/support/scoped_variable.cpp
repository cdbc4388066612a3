#include "scoped_variable.h"

#include <stdlib.h>

namespace vrnskdm::testing {

scoped_variable::scoped_variable(std::string name, const std::string& value)
    : name_{std::move(name)} {
  if (const char* previous = ::getenv(name_.c_str())) previous_ = previous;
  ::setenv(name_.c_str(), value.c_str(), 1);
}

scoped_variable::~scoped_variable() {
  if (previous_) {
    ::setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

}  // namespace vrnskdm::testing
