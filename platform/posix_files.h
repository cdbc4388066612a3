#pragma once

#include <map>
#include <set>
#include <string>

#include "files.h"
#include "journal.h"

namespace vrnskdm::platform {

// The files of the machine, through POSIX calls. Only ordinary files are
// opened: a pipe or a device where a file should be could block the watchdog or
// swallow what it writes. A link that is not followed is told of once, as a
// warning, until it is fine again.
class posix_files final : public files {
 public:
  explicit posix_files(journal* warnings = nullptr) : warnings_{warnings} {}
  posix_files(const posix_files&) = delete;
  posix_files& operator=(const posix_files&) = delete;
  ~posix_files() override;

  std::string current_dir() override;
  bool file_exists(const std::string& path) override;
  bool delete_file(const std::string& path) override;
  bool may_delete_in(const std::string& folder) override;
  std::optional<std::string> file_behind(const std::string& path) override;
  file_handle free_handle() override;
  bool open_text(file_handle handle, const std::string& path, open_mode mode) override;
  bool read_line(file_handle handle, std::string& line) override;
  bool write_line(file_handle handle, std::string_view text) override;
  std::optional<std::int64_t> file_length(file_handle handle) override;
  bool sync_file(file_handle handle) override;
  bool close_file(file_handle handle) override;
  void close_all_files() override;
  bool replace_file(const std::string& from, const std::string& to) override;
  bool flush_to_disk(const std::string& path) override;

  // How many files are open now.
  std::size_t open_count() const { return open_.size(); }

 private:
  struct open_file {
    int descriptor = -1;
    std::string buffer;  // read ahead, not yet given out
    std::size_t next = 0;
    bool at_end = false;
  };

  open_file* find(file_handle handle);
  bool fill(open_file& file);

  std::map<file_handle, open_file> open_;
  journal* warnings_;
  std::set<std::string> links_refused_;
};

}  // namespace vrnskdm::platform
