#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vrnskdm::platform {

enum class open_mode {
  input,   // the file must exist
  output,  // created, or emptied
  append,  // created when absent, written at the end
};

using file_handle = int;
inline constexpr file_handle no_handle = 0;
// Handles run from 1 to this: a program holds at most that many files open.
inline constexpr file_handle last_handle = 255;

// Longest line read_line gives; the rest of a longer line is skipped unread into
// memory, so a file of any size costs a bounded amount of it.
inline constexpr std::size_t max_line_length = 32768;

// Text files and folders. No operation throws: each reports failure through its
// result, and the caller decides whether a failure is skipped. Handles are small
// numbers, as a fresh one from free_handle; an operation on a handle that is not
// open fails.
class files {
 public:
  virtual ~files() = default;

  // The process's working directory, without a trailing "/" except at the root;
  // "." when its name cannot be had (it was removed, say), so that the files
  // still go to the working directory or nowhere.
  virtual std::string current_dir() = 0;

  // True when an ordinary file is found at the path; folders do not count. Any
  // error (no permission, a folder that is not there, a name too long) is false.
  virtual bool file_exists(const std::string& path) = 0;

  // Removes the file; fails when it is missing or cannot be removed.
  virtual bool delete_file(const std::string& path) = 0;

  // Whether this user may make and delete files in the folder.
  virtual bool may_delete_in(const std::string& folder) = 0;

  // The file a name stands for: the name itself, or, for a symbolic link, the
  // file at the end of it. Nothing for a link that neither this user nor the
  // owner of the link's folder made: anyone who may write in a shared folder
  // could otherwise point the watchdog's writes at any file it may write.
  virtual std::optional<std::string> file_behind(const std::string& path) = 0;

  // A handle not in use now, or no_handle when every one is.
  virtual file_handle free_handle() = 0;

  // Opens an ordinary text file on a handle not in use; fails otherwise, for a
  // folder, a pipe or a device, and for a link file_behind gives nothing for.
  virtual bool open_text(file_handle handle, const std::string& path, open_mode mode) = 0;

  // The next line without its line end (CR LF, a CR alone or an LF alone), cut
  // to max_line_length. At end of file, or on error, fails and leaves line alone.
  virtual bool read_line(file_handle handle, std::string& line) = 0;

  // Writes the text followed by CR LF; fails unless all of it was written.
  virtual bool write_line(file_handle handle, std::string_view text) = 0;

  // The open file's size in bytes.
  virtual std::optional<std::int64_t> file_length(file_handle handle) = 0;

  // Brings what was written through the handle onto the disk.
  virtual bool sync_file(file_handle handle) = 0;

  virtual bool close_file(file_handle handle) = 0;
  virtual void close_all_files() = 0;

  // Puts the file at from in place of the one at to, in one step, with the
  // permissions of the one it replaces, and brings that change of the folder
  // onto the disk.
  virtual bool replace_file(const std::string& from, const std::string& to) = 0;

  // Brings a file already written and closed onto the disk, with its folder entry.
  virtual bool flush_to_disk(const std::string& path) = 0;
};

}  // namespace vrnskdm::platform
