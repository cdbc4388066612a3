#pragma once

#include <cstddef>

namespace vrnskdm::testing {

// Bytes the process has allocated and not yet freed, as its allocator counts
// them: the sanitizer's own under AddressSanitizer, the C library's otherwise.
std::size_t allocated_bytes();

// File descriptors the process holds open now.
std::size_t open_descriptors();

}  // namespace vrnskdm::testing
