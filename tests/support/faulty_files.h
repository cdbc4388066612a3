#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/files.h"

namespace vrnskdm::testing {

enum class file_operation {
  current_dir,
  file_exists,
  delete_file,
  may_delete_in,
  file_behind,
  free_handle,
  open_input,
  open_output,
  open_append,
  open_draft,
  remove_drafts,
  read_line,
  write_line,
  file_length,
  sync_file,
  close_file,
  replace_file,
  flush_to_disk,
};

// The machine's files, but any operation can be made to fail, as a full disk, a
// lost folder or a locked file would make it. A failing operation does nothing.
class faulty_files final : public platform::files {
 public:
  explicit faulty_files(platform::files& real) : real_{real} {}

  // Decides whether an operation fails; path is the file it is about (for an
  // open handle, the file it was opened on). Unset: nothing fails.
  std::function<bool(file_operation, const std::string& path)> fails;
  int operations = 0;
  int failures = 0;

  std::string current_dir() override;
  bool file_exists(const std::string& path) override;
  bool delete_file(const std::string& path) override;
  bool may_delete_in(const std::string& folder) override;
  std::optional<std::string> file_behind(const std::string& path) override;
  platform::file_handle free_handle() override;
  bool open_text(platform::file_handle handle, const std::string& path,
                 platform::open_mode mode) override;
  bool read_line(platform::file_handle handle, std::string& line) override;
  bool write_line(platform::file_handle handle, std::string_view text) override;
  std::optional<std::int64_t> file_length(platform::file_handle handle) override;
  bool sync_file(platform::file_handle handle) override;
  bool close_file(platform::file_handle handle) override;
  void close_all_files() override;
  std::optional<std::string> open_draft(platform::file_handle handle,
                                        const std::string& beside) override;
  bool remove_drafts(const std::string& beside) override;
  bool replace_file(const std::string& from, const std::string& to) override;
  bool flush_to_disk(const std::string& path) override;

 private:
  bool injected(file_operation operation, const std::string& path);
  std::string path_of(platform::file_handle handle) const;

  platform::files& real_;
  std::map<platform::file_handle, std::string> opened_;
};

}  // namespace vrnskdm::testing
