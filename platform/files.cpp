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

bool sync_folder_of(const std::string& path) {
  const int descriptor = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  const bool synced = ::fsync(descriptor) == 0;
  ::close(descriptor);
  return synced;
}

// As many links in a row as the kernel follows in a path.
constexpr int longest_chain = 40;

struct link_reading {
  enum { not_a_link, followed, refused, unreadable } kind = not_a_link;
  std::string target;  // where a followed link points, from the folder it is in
};

// Whether the name is a symbolic link, and where it points when the watchdog
// may follow it: when this user or the owner of the link's folder made it. The
// link is read through a descriptor of its own, so that the link whose owner
// was checked is the one whose target is taken.
link_reading read_link(const std::string& name) {
  const int link = ::open(name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (link < 0) return {};  // not there (yet): the name itself
  link_reading reading;
  struct stat link_info {};
  if (::fstatat(link, "", &link_info, AT_EMPTY_PATH) == 0 && S_ISLNK(link_info.st_mode)) {
    const std::string folder = folder_of(name);
    struct stat folder_info {};
    reading.kind = link_reading::refused;
    if (::stat(folder.c_str(), &folder_info) == 0 &&
        (link_info.st_uid == ::geteuid() || link_info.st_uid == folder_info.st_uid)) {
      std::array<char, PATH_MAX> target{};
      const ssize_t length = ::readlinkat(link, "", target.data(), target.size());
      reading.kind = link_reading::unreadable;
      if (length > 0 && static_cast<std::size_t>(length) < target.size()) {
        reading.kind = link_reading::followed;
        reading.target.assign(target.data(), static_cast<std::size_t>(length));
        if (reading.target.front() != '/') reading.target = folder + "/" + reading.target;
      }
    }
  }
  ::close(link);
  return reading;
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

// unlink removes no folder; the callers have found an ordinary file there.
bool posix_files::delete_file(const std::string& path) {
  return usable_path(path) && ::unlink(path.c_str()) == 0;
}

bool posix_files::may_delete_in(const std::string& folder) {
  return usable_path(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// Every link on the way must pass, the kernel's rule for links in folders that
// everyone may write in: a link that may be followed could otherwise point at
// one in such a folder that someone else made.
std::optional<std::string> posix_files::file_behind(const std::string& path) {
  if (!usable_path(path)) return path;
  std::string name = path;
  for (int links = 0; links <= longest_chain; ++links) {
    const link_reading link = read_link(name);
    switch (link.kind) {
      case link_reading::not_a_link:
        links_refused_.erase(path);
        return name;
      case link_reading::followed:
        name = link.target;
        continue;
      case link_reading::refused:
        if (links_refused_.insert(path).second && warnings_ != nullptr) {
          warnings_->warn(event::link_refused, name +
                          " is a symbolic link that neither this user nor the owner of its "
                          "folder made: it is not followed, and " + path +
                          " counts as a file that cannot be opened");
        }
        return std::nullopt;
      case link_reading::unreadable:
        return std::nullopt;
    }
  }
  return std::nullopt;  // links in a loop
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
    // The name at the end of the links, itself no link: one put there since
    // is not followed.
    descriptor = ::open(behind->c_str(), flags | O_NOFOLLOW, 0666);
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
  // A file the administrator made private stays private. The permissions are
  // set through a descriptor of the fresh file itself, never by its name, which
  // someone could point at another file meanwhile.
  struct stat old_file {};
  if (::stat(to.c_str(), &old_file) == 0) {
    const int fresh = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fresh >= 0) {
      ::fchmod(fresh, old_file.st_mode & 07777);
      ::close(fresh);
    }
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// Opened as open_text opens: no pipe to wait on, no device, no link that may
// not be followed.
bool posix_files::flush_to_disk(const std::string& path) {
  if (!usable_path(path)) return false;
  const std::optional<std::string> behind = file_behind(path);
  if (!behind) return false;
  const int descriptor = ::open(behind->c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat info {};
  const bool synced =
      ::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && ::fsync(descriptor) == 0;
  ::close(descriptor);
  return synced && sync_folder_of(*behind);
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
