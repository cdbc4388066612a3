#include "time_zone.h"

#include <ctime>

namespace vrnskdm::testing {

time_zone::time_zone(const char* zone) {
  tz_.emplace("TZ", zone);
  ::tzset();
}

time_zone::~time_zone() {
  tz_.reset();
  ::tzset();
}

}  // namespace vrnskdm::testing
