#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vrnskdm::fuzzing {

// The lines of a text file as the platform defines them, worked out the plain
// way to hold the reader to: a line ends at CR LF, a CR alone or an LF alone,
// the last one may have no end, and each is cut to the longest line read.
std::vector<std::string> reference_lines(std::string_view bytes);

}  // namespace vrnskdm::fuzzing
