#include <string>
#include <vector>

#include "fuzz_targets.h"
#include "platform/files.h"
#include "reference_lines.h"
#include "support/scratch_dir.h"

namespace vrnskdm::fuzzing {

namespace {

const testing::scratch_dir& scratch() {
  static const testing::scratch_dir dir;
  return dir;
}

std::vector<std::string> read_all(const std::string& path) {
  platform::posix_files fs;
  const platform::file_handle handle = fs.free_handle();
  require(fs.open_text(handle, path, platform::open_mode::input), "a file just written opens");
  std::vector<std::string> lines;
  std::string line;
  while (fs.read_line(handle, line)) lines.push_back(line);
  const std::string last = line;
  require(!fs.read_line(handle, line) && line == last,
          "reading past the end fails and leaves the line alone");
  require(fs.close_file(handle) && fs.open_count() == 0, "the file closes");
  return lines;
}

void read_as_file(std::string_view bytes) {
  const std::string path = scratch().file("lines.txt");
  scratch().write("lines.txt", bytes);
  require(read_all(path) == reference_lines(bytes), "lines end at CR LF, CR or LF, and are cut");
}

}  // namespace

void text_lines(input data) {
  const std::string_view bytes{reinterpret_cast<const char*>(data.data()), data.size()};
  read_as_file(bytes);
  // Again, repeated past twice the longest line, so that short inputs reach the
  // cut and the edges of the chunks the reader takes the file in.
  if (bytes.empty() || bytes.size() > 4096) return;
  std::string stretched;
  while (stretched.size() <= 2 * platform::max_line_length + bytes.size()) stretched.append(bytes);
  read_as_file(stretched);
}

}  // namespace vrnskdm::fuzzing
