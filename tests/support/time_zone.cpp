#include "time_zone.h"

#include <cstdlib>
#include <ctime>

namespace vrnskdm::testing {

time_zone::time_zone(const char* zone) {
  if (const char* old = std::getenv("TZ")) saved_ = old;
  ::setenv("TZ", zone, 1);
  ::tzset();
}

time_zone::~time_zone() {
  if (saved_) {
    ::setenv("TZ", saved_->c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace vrnskdm::testing
