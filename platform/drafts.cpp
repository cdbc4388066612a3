// SAVE's drafts: made beside the file they replace, put in its place in one
// step, brought onto the disk, and cleared away when a save was cut short.

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string_view>

#include "files.h"

namespace vrnskdm::platform {

namespace {

constexpr std::string_view draft_mark = ".new-";
constexpr std::string_view letters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t suffix_letters = 10;

// Bytes for a draft's name that no one can have guessed: whoever may write in a
// shared folder could otherwise make that name first. Where the kernel gives no
// randomness (its pool not ready yet just after the machine starts, or a filter
// that denies the call), the clock, the process and a count are mixed instead:
// a name refused as taken is followed by another, so a save still goes through.
std::array<unsigned char, suffix_letters> name_bytes() {
  std::array<unsigned char, suffix_letters> bytes{};
  if (::getrandom(bytes.data(), bytes.size(), GRND_NONBLOCK) ==
      static_cast<ssize_t>(bytes.size())) {
    return bytes;
  }
  static std::atomic<std::uint64_t> count{0};
  std::uint64_t mixed =
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
      (static_cast<std::uint64_t>(::getpid()) << 40) ^ (count.fetch_add(1) << 20);
  for (unsigned char& byte : bytes) {
    // splitmix64: every bit of the mix reaches every byte.
    std::uint64_t z = mixed += 0x9e3779b97f4a7c15;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    byte = static_cast<unsigned char>(z ^ (z >> 31));
  }
  return bytes;
}

std::string fresh_suffix() {
  std::string suffix{draft_mark};
  for (const unsigned char byte : name_bytes()) suffix += letters[byte % letters.size()];
  return suffix;
}

// Each name taken is another user's file, or one put there by chance: a few
// more tries, and then the folder counts as one no draft can be made in.
constexpr int draft_tries = 16;

}  // namespace

bool is_draft_of(std::string_view name, std::string_view beside) {
  if (!name.starts_with(beside)) return false;
  name.remove_prefix(beside.size());
  if (!name.starts_with(draft_mark)) return false;
  name.remove_prefix(draft_mark.size());
  return name.size() == suffix_letters && name.find_first_not_of(letters) == std::string_view::npos;
}

std::optional<std::string> posix_files::open_draft(file_handle handle, const std::string& beside) {
  if (handle < 1 || handle > last_handle || open_.contains(handle) || !usable_path(beside)) {
    return std::nullopt;
  }
  std::string suffix;
  // A file the administrator made private stays private: the draft is made
  // private and given the old file's permissions through its own descriptor.
  const auto make_draft = [&suffix](int folder, const std::string& name) {
    struct stat old_file {};
    const bool replaces = look_at(folder, name, old_file) == 0 && S_ISREG(old_file.st_mode);
    for (int tries = 0; tries < draft_tries; ++tries) {
      suffix = fresh_suffix();
      const std::string draft = name + suffix;
      const int descriptor =
          ::openat(folder, draft.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   replaces ? 0600 : 0666);
      if (descriptor < 0 && errno == EEXIST) continue;
      if (descriptor < 0 || !replaces || ::fchmod(descriptor, old_file.st_mode & 07777) == 0) {
        return descriptor;
      }
      const int error = errno;
      ::close(descriptor);
      ::unlinkat(folder, draft.c_str(), 0);
      errno = error;
      return -1;
    }
    errno = EEXIST;
    return -1;
  };
  const link_walk::walked walked = walk_.walk(beside, make_draft);
  if (walked.result < 0) return std::nullopt;
  open_[handle].descriptor = walked.result;
  return walked.path + suffix;
}

// Only what a save can have left: a name of a draft's form, an ordinary file,
// this user's. Another user's file of that form is theirs, and left alone.
bool posix_files::remove_drafts(const std::string& beside) {
  const auto remove = [](int folder, const std::string& name) {
    const int entries = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = entries < 0 ? nullptr : ::fdopendir(entries);
    if (listing == nullptr) {
      if (entries >= 0) ::close(entries);
      return -1;
    }
    bool removed = true;
    while (const dirent* entry = ::readdir(listing)) {
      struct stat info {};
      if (is_draft_of(entry->d_name, name) &&
          ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISREG(info.st_mode) && info.st_uid == ::geteuid()) {
        removed = ::unlinkat(folder, entry->d_name, 0) == 0 && removed;
      }
    }
    ::closedir(listing);
    return removed ? 0 : -1;
  };
  return usable_path(beside) && walk_.walk(beside, remove).result == 0;
}

bool posix_files::replace_file(const std::string& from, const std::string& to) {
  if (!usable_path(from) || !usable_path(to)) return false;
  const auto rename_into = [this, &from](int to_folder, const std::string& to_name) {
    const auto rename = [&to_folder, &to_name](int from_folder, const std::string& name) {
      return ::renameat(from_folder, name.c_str(), to_folder, to_name.c_str());
    };
    const link_walk::walked renamed = walk_.walk(from, rename);
    // A link refused on the way to the draft is no link at the name replaced.
    errno = renamed.stopped ? EACCES : renamed.error;
    return renamed.result;
  };
  return walk_.walk(to, rename_into).result == 0;
}

// Opened as open_text opens: no pipe to wait on, no device, no link that may
// not be followed. The folder synced is the one the file was found in. Both
// are opened here, and only their fsyncs wait for the disk.
bool posix_files::flush_to_disk(const std::string& path) {
  std::shared_ptr<const int> file;
  std::shared_ptr<const int> entries;
  const auto open_both = [&file, &entries](int folder, const std::string& name) {
    const int opened = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (opened < 0) return -1;
    file = shared_descriptor(opened);
    struct stat info {};
    if (::fstat(opened, &info) != 0 || !S_ISREG(info.st_mode)) {
      errno = EIO;
      return -1;
    }
    const int folder_opened = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_opened < 0) return -1;
    entries = shared_descriptor(folder_opened);
    return 0;
  };
  if (!usable_path(path) || walk_.walk(path, open_both).result != 0) return false;
  return flushed([file, entries] { return ::fsync(*file) == 0 && ::fsync(*entries) == 0; });
}

}  // namespace vrnskdm::platform
