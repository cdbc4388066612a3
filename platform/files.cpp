#include "files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

namespace vrnskdm::platform {

namespace {

// Large, so that skipping a very long line takes few calls.
constexpr std::size_t read_chunk = 65536;

bool write_all(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Where the first CR or LF lies in the bytes, or size when there is none.
std::size_t line_end_in(const char* bytes, std::size_t size) {
  const auto offset = [bytes](const void* found) {
    return static_cast<std::size_t>(static_cast<const char*>(found) - bytes);
  };
  const void* cr = std::memchr(bytes, '\r', size);
  const std::size_t before_cr = cr == nullptr ? size : offset(cr);
  const void* lf = std::memchr(bytes, '\n', before_cr);
  return lf == nullptr ? before_cr : offset(lf);
}

}  // namespace

posix_files::~posix_files() { close_all_files(); }

std::string posix_files::current_dir() {
  std::array<char, PATH_MAX> name{};
  if (::getcwd(name.data(), name.size()) == nullptr) return ".";
  return name.data();
}

bool posix_files::file_exists(const std::string& path) {
  if (!usable_path(path)) return false;
  struct stat info {};
  const auto look = [&info](int folder, const std::string& name) {
    return look_at(folder, name, info);
  };
  return walk_.walk(path, look).result == 0 && S_ISREG(info.st_mode);
}

// unlinkat removes no folder; the callers have found an ordinary file there. A
// link is removed itself, whoever made it.
bool posix_files::delete_file(const std::string& path) {
  const auto remove = [](int folder, const std::string& name) {
    return ::unlinkat(folder, name.c_str(), 0);
  };
  return usable_path(path) && walk_.walk(path, remove).result == 0;
}

// An answer for the moment it is given: nothing is done in the folder on its
// strength but trying.
bool posix_files::may_delete_in(const std::string& folder) {
  const auto check = [](int above, const std::string& name) {
    struct stat info {};
    if (look_at(above, name, info) != 0) return -1;
    // By the user the watchdog acts as, as the deletions will be.
    return ::faccessat(above, name.c_str(), W_OK | X_OK, AT_EACCESS);
  };
  return usable_path(folder) && walk_.walk(folder, check).result == 0;
}

std::optional<std::string> posix_files::file_behind(const std::string& path) {
  if (!usable_path(path)) return path;
  const link_walk::walked walked = walk_.walk(path, [](int folder, const std::string& name) {
    struct stat info {};
    return look_at(folder, name, info) != 0 && errno == ELOOP ? -1 : 0;
  });
  if (walked.stopped) return std::nullopt;
  return walked.path.empty() ? path : walked.path;
}

file_handle posix_files::free_handle() {
  for (file_handle handle = 1; handle <= last_handle; ++handle) {
    if (!open_.contains(handle)) return handle;
  }
  return no_handle;
}

bool posix_files::open_text(file_handle handle, const std::string& path, open_mode mode) {
  if (handle < 1 || handle > last_handle || open_.contains(handle) || !usable_path(path)) {
    return false;
  }
  // Without O_NONBLOCK, opening a pipe waits until its other end is opened;
  // ordinary files take no notice of it.
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
    case open_mode::input: flags |= O_RDONLY; break;
    case open_mode::output: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case open_mode::append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
  }
  const auto open = [flags](int folder, const std::string& name) {
    return ::openat(folder, name.c_str(), flags | O_NOFOLLOW, 0666);
  };
  const int descriptor = walk_.walk(path, open).result;
  if (descriptor < 0) return false;
  struct stat info {};
  if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(descriptor);
    return false;
  }
  open_[handle].descriptor = descriptor;
  return true;
}

posix_files::open_file* posix_files::find(file_handle handle) {
  const auto found = open_.find(handle);
  return found == open_.end() ? nullptr : &found->second;
}

bool posix_files::fill(open_file& file) {
  if (file.at_end) return false;
  file.buffer.erase(0, file.next);
  file.next = 0;
  const std::size_t kept = file.buffer.size();
  file.buffer.resize(kept + read_chunk);
  ssize_t got = 0;
  do {
    got = ::read(file.descriptor, file.buffer.data() + kept, read_chunk);
  } while (got < 0 && errno == EINTR);
  file.buffer.resize(kept + static_cast<std::size_t>(got > 0 ? got : 0));
  if (got <= 0) file.at_end = true;
  return got > 0;
}

bool posix_files::read_line(file_handle handle, std::string& line) {
  open_file* file = find(handle);
  if (file == nullptr) return false;
  if (file->next == file->buffer.size() && !fill(*file)) return false;
  std::string text;
  char ending = 0;
  do {
    const char* rest = file->buffer.data() + file->next;
    const std::size_t size = file->buffer.size() - file->next;
    const std::size_t length = line_end_in(rest, size);
    text.append(rest, std::min(length, max_line_length - text.size()));
    file->next += length;
    if (length < size) {
      ending = rest[length];
      ++file->next;
      break;
    }
  } while (fill(*file));
  // A CR alone ends the line too.
  if (ending == '\r' && (file->next < file->buffer.size() || fill(*file)) &&
      file->buffer[file->next] == '\n') {
    ++file->next;
  }
  line = std::move(text);
  return true;
}

bool posix_files::write_line(file_handle handle, std::string_view text) {
  open_file* file = find(handle);
  if (file == nullptr) return false;
  std::string bytes{text};
  bytes += "\r\n";
  return write_all(file->descriptor, bytes);
}

std::optional<std::int64_t> posix_files::file_length(file_handle handle) {
  open_file* file = find(handle);
  struct stat info {};
  if (file == nullptr || ::fstat(file->descriptor, &info) != 0) return std::nullopt;
  return static_cast<std::int64_t>(info.st_size);
}

bool posix_files::flushed(std::function<bool()> flush) {
  return wait_ == disk_wait::unbounded ? flush() : flushed_in_time(flush_, std::move(flush));
}

// The flush holds a descriptor of its own, as the handle may be closed while
// it hangs.
bool posix_files::sync_file(file_handle handle) {
  open_file* file = find(handle);
  const int own = file == nullptr ? -1 : ::fcntl(file->descriptor, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return false;
  return flushed([held = shared_descriptor(own)] { return ::fsync(*held) == 0; });
}

bool posix_files::close_file(file_handle handle) {
  open_file* file = find(handle);
  if (file == nullptr) return false;
  // The descriptor is gone whatever close says; a failure here means data that
  // was written may not have reached the file.
  const bool closed = ::close(file->descriptor) == 0;
  open_.erase(handle);
  return closed;
}

void posix_files::close_all_files() {
  while (!open_.empty()) close_file(open_.begin()->first);
}

folder_lock::folder_lock(const std::string& folder) {
  descriptor_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor_ < 0) return;
  if (::flock(descriptor_, LOCK_EX | LOCK_NB) == 0) return;
  taken_elsewhere_ = errno == EWOULDBLOCK;
  ::close(descriptor_);
  descriptor_ = -1;
}

// Closing the only descriptor of the open folder releases its lock.
folder_lock::~folder_lock() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

}  // namespace vrnskdm::platform
