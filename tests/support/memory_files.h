#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace vrnskdm::testing {

// Files kept in memory, for runs of many simulated days that the disk would take
// hours over. A path names a file and nothing else: there are no folders, so a
// file can be made at any path. Lines are read up to CR LF, the only line end the
// program writes, and cut as the machine's files cut them.
class memory_files final : public platform::files {
 public:
  explicit memory_files(std::string working_dir) : working_dir_{std::move(working_dir)} {}

  std::string current_dir() override { return working_dir_; }
  bool file_exists(const std::string& path) override { return contents_.contains(path); }
  bool delete_file(const std::string& path) override { return contents_.erase(path) > 0; }
  bool may_delete_in(const std::string& /*folder*/) override { return true; }
  std::optional<std::string> file_behind(const std::string& path) override { return path; }
  platform::file_handle free_handle() override;
  bool open_text(platform::file_handle handle, const std::string& path,
                 platform::open_mode mode) override;
  bool read_line(platform::file_handle handle, std::string& line) override;
  bool write_line(platform::file_handle handle, std::string_view text) override;
  std::optional<std::int64_t> file_length(platform::file_handle handle) override;
  bool sync_file(platform::file_handle handle) override { return open_.contains(handle); }
  bool close_file(platform::file_handle handle) override { return open_.erase(handle) > 0; }
  void close_all_files() override { open_.clear(); }
  std::optional<std::string> open_draft(platform::file_handle handle,
                                        const std::string& beside) override;
  bool remove_drafts(const std::string& beside) override;
  bool replace_file(const std::string& from, const std::string& to) override;
  bool flush_to_disk(const std::string& path) override { return file_exists(path); }

  void put(const std::string& path, std::string bytes) { contents_[path] = std::move(bytes); }
  // The file's bytes, until it next changes; empty when it is not there.
  std::string_view read(const std::string& path) const;
  std::size_t open_count() const { return open_.size(); }
  // Bytes of memory the files' contents take.
  std::size_t bytes_held() const;

  // Every line written since the last call, with the file it went to.
  std::vector<std::pair<std::string, std::string>> take_written() { return std::move(written_); }

 private:
  struct open_file {
    std::string path;
    std::size_t read_from = 0;
  };

  // The open file's bytes, or nothing when it was deleted meanwhile.
  std::string* bytes_of(const open_file& file);

  std::string working_dir_;
  std::map<std::string, std::string> contents_;
  std::map<platform::file_handle, open_file> open_;
  std::vector<std::pair<std::string, std::string>> written_;
};

}  // namespace vrnskdm::testing
