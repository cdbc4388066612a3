#include "files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace vrnskdm::platform {

namespace {

// Large, so that skipping a very long line takes few calls.
constexpr std::size_t read_chunk = 65536;

// A name with a NUL in it would be cut short by the system and name another file.
bool usable_path(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

bool write_all(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool sync_path(const std::string& path, int flags) {
  const int descriptor = ::open(path.c_str(), flags | O_CLOEXEC);
  if (descriptor < 0) return false;
  const bool synced = ::fsync(descriptor) == 0;
  ::close(descriptor);
  return synced;
}

bool sync_folder_of(const std::string& path) {
  return sync_path(folder_of(path), O_RDONLY | O_DIRECTORY);
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
  struct stat info {};
  return usable_path(path) && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool posix_files::delete_file(const std::string& path) {
  return file_exists(path) && ::unlink(path.c_str()) == 0;
}

bool posix_files::may_delete_in(const std::string& folder) {
  return usable_path(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// The link is read through a descriptor of its own, so that the link whose
// owner was checked is the one whose target is taken. The kernel applies the
// same rule to links in folders that everyone may write in.
std::optional<std::string> posix_files::file_behind(const std::string& path) {
  if (!usable_path(path)) return path;
  const int link = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (link < 0) return path;
  struct stat link_info {};
  struct stat folder_info {};
  std::array<char, PATH_MAX> target{};
  ssize_t length = -1;
  const std::string folder = folder_of(path);
  const bool is_link = ::fstatat(link, "", &link_info, AT_EMPTY_PATH) == 0 &&
                       S_ISLNK(link_info.st_mode);
  const bool trusted = is_link && ::stat(folder.c_str(), &folder_info) == 0 &&
                       (link_info.st_uid == ::geteuid() || link_info.st_uid == folder_info.st_uid);
  if (trusted) length = ::readlinkat(link, "", target.data(), target.size());
  ::close(link);
  if (!is_link) {
    links_refused_.erase(path);
    return path;
  }
  if (!trusted) {
    if (links_refused_.insert(path).second && warnings_ != nullptr) {
      warnings_->warn(path +
                      " is a symbolic link that neither this user nor the owner of its folder "
                      "made: it is not followed, and the file counts as one that cannot be opened");
    }
    return std::nullopt;
  }
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
  links_refused_.erase(path);
  std::string behind(target.data(), static_cast<std::size_t>(length));
  if (behind.front() != '/') behind = folder + "/" + behind;
  // Further links on the way lie outside the folder, where whoever placed the
  // first one decided.
  std::array<char, PATH_MAX> resolved{};
  if (::realpath(behind.c_str(), resolved.data()) != nullptr) return std::string{resolved.data()};
  return behind;
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
  int descriptor = ::open(path.c_str(), flags | O_NOFOLLOW, 0666);
  if (descriptor < 0 && errno == ELOOP) {
    const std::optional<std::string> behind = file_behind(path);
    if (!behind) return false;
    descriptor = ::open(behind->c_str(), flags, 0666);
  }
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

bool posix_files::sync_file(file_handle handle) {
  open_file* file = find(handle);
  return file != nullptr && ::fsync(file->descriptor) == 0;
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

bool posix_files::replace_file(const std::string& from, const std::string& to) {
  if (!usable_path(from) || !usable_path(to)) return false;
  // A file the administrator made private stays private.
  struct stat old_file {};
  if (::stat(to.c_str(), &old_file) == 0) ::chmod(from.c_str(), old_file.st_mode & 07777);
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool posix_files::flush_to_disk(const std::string& path) {
  if (!usable_path(path)) return false;
  return sync_path(path, O_RDONLY) && sync_folder_of(path);
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
