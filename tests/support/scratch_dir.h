#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "temp_folder.h"

namespace vrnskdm::testing {

// A fresh folder under the system's temporary folder, made the working directory
// for as long as it lives, then removed with everything in it.
class scratch_dir {
 public:
  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;

  const std::string& path() const { return folder_.path(); }
  std::string file(std::string_view name) const;

  bool exists(std::string_view name) const;
  std::string read(std::string_view name) const;
  void write(std::string_view name, std::string_view bytes) const;
  void make_folder(std::string_view name) const;

 private:
  std::string previous_dir_;
  temp_folder folder_;
};

// Lines of text: a file's, or a log's messages.
using lines = std::vector<std::string>;

// How often the text stands among the lines.
std::size_t count_of(const lines& within, std::string_view text);

// The lines of a text, split at CR LF; an unterminated last line counts too.
std::vector<std::string> crlf_lines(std::string_view text);

// The messages of an event log's text, each line's timestamp cut off.
std::vector<std::string> log_messages(std::string_view log_text);

// Lines joined as a text file: each followed by CR LF.
std::string crlf_text(const std::vector<std::string>& lines);

}  // namespace vrnskdm::testing
