#include "process_resources.h"

#include <filesystem>
#include <iterator>

#if defined(__SANITIZE_ADDRESS__)
#define VRNSKDM_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VRNSKDM_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef VRNSKDM_ADDRESS_SANITIZER
// From the sanitizer's runtime; GCC ships no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace vrnskdm::testing {

std::size_t allocated_bytes() {
#ifdef VRNSKDM_ADDRESS_SANITIZER
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

std::size_t open_descriptors() {
  // The listing's own descriptor is counted too, the same every time.
  return static_cast<std::size_t>(std::distance(
      std::filesystem::directory_iterator{"/proc/self/fd"}, std::filesystem::directory_iterator{}));
}

}  // namespace vrnskdm::testing
