#pragma once

// Files and folders: what the logic asks of them, and the machine's own.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "detached_flush.h"
#include "journal.h"
#include "link_walk.h"

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
  // name at the end of its links, from a folder reached without links. Nothing
  // when a link on the way, in the folders too, may not be followed (see
  // link_walk.h): anyone who may write in a shared folder could otherwise point
  // the watchdog's writes at any file it may write.
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

  // Brings what was written through the handle onto the disk; fails as well
  // when the disk takes too long (see disk_wait).
  virtual bool sync_file(file_handle handle) = 0;

  virtual bool close_file(file_handle handle) = 0;
  virtual void close_all_files() = 0;

  // Makes a new file beside the one at `beside`, in its folder, under a name no
  // other file had, opens it for output on a handle not in use, and gives its
  // name; nothing when it could not be made, or not given the permissions of the
  // file at `beside` (where there is one). Another user's file at any name is
  // never opened, so whoever may write in the folder can neither block the
  // draft nor have it written into a file of theirs.
  virtual std::optional<std::string> open_draft(file_handle handle, const std::string& beside) = 0;

  // Removes the drafts open_draft made beside the file at `beside` that were
  // never put in its place (a save cut short by a crash or a power cut): this
  // user's ordinary files of a draft's form of name there, and nothing else.
  // Fails when the folder cannot be read or one of them stays.
  virtual bool remove_drafts(const std::string& beside) = 0;

  // Puts the file at from in place of the one at to, in one step. The change of
  // the folder may not be on the disk yet: flush_to_disk brings it there.
  virtual bool replace_file(const std::string& from, const std::string& to) = 0;

  // Brings a file already written and closed onto the disk, with its folder
  // entry; fails, as open_text does, for what is no ordinary file, and as
  // sync_file does.
  virtual bool flush_to_disk(const std::string& path) = 0;
};

// Whether name is the name of a draft open_draft makes beside `beside`, both
// as names in one folder or both as paths: `beside`, ".new-" and ten letters
// or digits.
bool is_draft_of(std::string_view name, std::string_view beside);

// How long posix_files waits for fsync.
enum class disk_wait {
  // flush_timeout at most: fsync runs on a thread of its own, which a stalled
  // disk may hold for good, and a flush not over by then fails. While one
  // hangs, the flushes after it fail at once without starting another.
  bounded,
  // As long as fsync takes: for a caller that flushes on a thread of its own
  // and bounds its wait for it.
  unbounded,
};

// The files of the machine, through POSIX calls, each reached by a link_walk.
// Only ordinary files are opened: a pipe or a device where a file should be
// could block the watchdog or swallow what it writes. A link that is not
// followed is told of once, as a warning, until it is fine again.
class posix_files final : public files {
 public:
  // working_folder: as link_walk takes it.
  explicit posix_files(journal* warnings = nullptr, int working_folder = -1,
                       disk_wait wait = disk_wait::bounded)
      : walk_{warnings, working_folder}, wait_{wait} {}
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
  std::optional<std::string> open_draft(file_handle handle, const std::string& beside) override;
  bool remove_drafts(const std::string& beside) override;
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
  // What flush gave, waited for as wait_ says.
  bool flushed(std::function<bool()> flush);

  std::map<file_handle, open_file> open_;
  link_walk walk_;
  disk_wait wait_;
  // The last flush started, which may still be going on.
  std::shared_ptr<detached_flush> flush_;
};

// Keeps a second watchdog out of a folder where one already runs: two would
// share the marker and the log, and both would delete the heartbeat. The lock
// is flock(2) on the folder's own descriptor, so no lock file appears among the
// folder's files, and the kernel lets it go when its holder ends, however that
// happens.
class folder_lock {
 public:
  // Takes the lock on `folder` without waiting, and holds it until the object
  // goes. Where the folder cannot be opened or locked (it is gone, unreadable,
  // or on a file system that refuses the lock), nothing is held and nothing is
  // refused: taken_elsewhere() is false.
  explicit folder_lock(const std::string& folder);
  ~folder_lock();
  folder_lock(const folder_lock&) = delete;
  folder_lock& operator=(const folder_lock&) = delete;

  // True when another holder, in this process or another, has the lock.
  bool taken_elsewhere() const { return taken_elsewhere_; }

  // The folder, open while the lock is held; -1 when it is not.
  int descriptor() const { return descriptor_; }

 private:
  int descriptor_ = -1;
  bool taken_elsewhere_ = false;
};

}  // namespace vrnskdm::platform
