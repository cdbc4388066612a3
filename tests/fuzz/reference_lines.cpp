#include "reference_lines.h"

#include "platform/files.h"

namespace vrnskdm::fuzzing {

std::vector<std::string> reference_lines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= bytes.size(); ++i) {
    const bool at_end = i == bytes.size();
    if (!at_end && bytes[i] != '\r' && bytes[i] != '\n') continue;
    if (at_end && start == bytes.size()) break;
    lines.emplace_back(bytes.substr(start, std::min(i - start, platform::max_line_length)));
    if (!at_end && bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return lines;
}

}  // namespace vrnskdm::fuzzing
