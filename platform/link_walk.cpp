#include "link_walk.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <string_view>
#include <utility>
#include <vector>

namespace vrnskdm::platform {

namespace {

// As many links in a row as the kernel follows in a path.
constexpr int longest_chain = 40;

constexpr int path_only = O_PATH | O_NOFOLLOW | O_CLOEXEC;

// A descriptor that is closed when it goes, unless it was only lent.
class held {
 public:
  held() = default;
  held(int descriptor, bool owned) : descriptor_{descriptor}, owned_{owned} {}
  held(held&& other) noexcept { *this = std::move(other); }
  held& operator=(held&& other) noexcept {
    std::swap(descriptor_, other.descriptor_);
    std::swap(owned_, other.owned_);
    return *this;
  }
  held(const held&) = delete;
  held& operator=(const held&) = delete;
  ~held() {
    if (owned_ && descriptor_ >= 0) ::close(descriptor_);
  }

  int get() const { return descriptor_; }

 private:
  int descriptor_ = -1;
  bool owned_ = false;
};

// The names of a path pushed so that its first is at the back; "" and "." are
// left out, as the kernel leaves them out.
void push_names(std::vector<std::string>& names, std::string_view path) {
  std::vector<std::string> in_order;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view name = path.substr(0, slash);
    if (!name.empty() && name != ".") in_order.emplace_back(name);
    path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
  }
  names.insert(names.end(), in_order.rbegin(), in_order.rend());
}

// The path of a name in a folder known by its path. The folders joined are
// never links, so ".." can be taken off the text as the kernel takes it.
std::string joined(const std::string& folder, const std::string& name) {
  if (name == ".." && folder == "/") return folder;
  const std::size_t slash = folder.find_last_of('/');
  if (name == ".." && slash != std::string::npos && folder.substr(slash + 1) != "..") {
    return slash == 0 ? "/" : folder.substr(0, slash);
  }
  return folder == "/" ? "/" + name : folder + "/" + name;
}

bool may_follow(const struct stat& link, const struct stat& folder) {
  const bool shared = (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid ||
         link.st_uid == 0;
}

}  // namespace

bool usable_path(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

int look_at(int folder, const std::string& name, struct stat& info) {
  if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  if (!S_ISLNK(info.st_mode)) return 0;
  errno = ELOOP;
  return -1;
}

link_walk::link_walk(journal* warnings, int working_folder)
    : working_{working_folder}, warnings_{warnings} {
  std::array<char, PATH_MAX> name{};
  if (working_ >= 0 && ::getcwd(name.data(), name.size()) != nullptr) working_name_ = name.data();
  if (working_ < 0) working_ = AT_FDCWD;
  root_ = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

link_walk::~link_walk() {
  if (root_ >= 0) ::close(root_);
}

// Where a walk stands: a folder, and its path as the names walked spell it.
struct link_walk::place {
  held folder;
  std::string path;
};

link_walk::place link_walk::start(const std::string& path, std::vector<std::string>& names) const {
  const bool absolute = !path.empty() && path.front() == '/';
  const std::string working_prefix = working_name_ == "/" ? "/" : working_name_ + "/";
  if (absolute && !working_name_.empty() &&
      (path == working_name_ || path.starts_with(working_prefix))) {
    push_names(names, std::string_view{path}.substr(working_name_.size()));
    return {held{working_, false}, working_name_};
  }
  push_names(names, path);
  if (absolute) return {held{root_, false}, "/"};
  return {held{working_, false}, "."};
}

bool link_walk::through_folders(place& at, std::vector<std::string>& names) const {
  if (names.size() < 2) return false;
  std::string way;
  std::string way_path = at.path;
  for (auto name = names.rbegin(); name != names.rend() - 1; ++name) {
    way += (way.empty() ? "" : "/") + *name;
    way_path = joined(way_path, *name);
  }
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const auto folder = ::syscall(SYS_openat2, at.folder.get(), way.c_str(), &how, sizeof how);
  if (folder < 0) return false;
  at = {held{static_cast<int>(folder), true}, way_path};
  names.erase(names.begin() + 1, names.end());
  return true;
}

bool link_walk::follow(int link, const std::string& name, const std::string& asked,
                       place& at, std::vector<std::string>& names) {
  struct stat link_info {};
  struct stat folder_info {};
  if (link < 0 || ::fstat(link, &link_info) != 0 || !S_ISLNK(link_info.st_mode) ||
      ::fstatat(at.folder.get(), "", &folder_info, AT_EMPTY_PATH) != 0) {
    return false;
  }
  if (!may_follow(link_info, folder_info)) {
    const std::lock_guard guard{refused_guard_};
    if (refused_.insert(asked).second && warnings_ != nullptr) {
      warnings_->warn(event::link_refused, joined(at.path, name) +
                      " is a symbolic link that neither this user, the owner of its folder "
                      "nor root made, in a folder others may write in: it is not followed, "
                      "and " + asked + " counts as a file that cannot be opened");
    }
    return false;
  }
  std::array<char, PATH_MAX> target{};
  const ssize_t length = ::readlinkat(link, "", target.data(), target.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return false;
  if (target.front() == '/') at = {held{root_, false}, "/"};
  push_names(names, std::string_view{target.data(), static_cast<std::size_t>(length)});
  return true;
}

link_walk::walked link_walk::walk(const std::string& path, const last_step& step) {
  walked result;
  std::vector<std::string> names;
  place at = start(path, names);
  bool at_once = true;
  for (int links = 0;;) {
    if (names.empty()) names.emplace_back(".");  // the folder itself
    if (std::exchange(at_once, false)) through_folders(at, names);
    const std::string name = std::move(names.back());
    names.pop_back();
    held link;
    if (names.empty()) {
      errno = 0;
      result.result = step(at.folder.get(), name);
      result.error = errno;
      result.path = joined(at.path, name);
      if (result.result >= 0 || result.error != ELOOP) break;
      link = held{::openat(at.folder.get(), name.c_str(), path_only), true};
    } else {
      held next{::openat(at.folder.get(), name.c_str(), path_only), true};
      struct stat info {};
      if (next.get() < 0 || ::fstat(next.get(), &info) != 0) {
        // A folder that is missing: the path as far as it goes, which fails
        // wherever it is used.
        result.error = errno;
        result.path = joined(at.path, name);
        for (auto rest = names.rbegin(); rest != names.rend(); ++rest) {
          result.path = joined(result.path, *rest);
        }
        break;
      }
      if (S_ISDIR(info.st_mode)) {
        at = {std::move(next), joined(at.path, name)};
        continue;
      }
      if (!S_ISLNK(info.st_mode)) {
        result.error = ENOTDIR;
        break;
      }
      link = std::move(next);
    }
    // A link: checked and read through a descriptor of its own, so that the link
    // whose owner was checked is the one whose target is taken.
    if (links++ == longest_chain || !follow(link.get(), name, path, at, names)) {
      return {.result = -1, .error = ELOOP, .stopped = true, .path = {}};
    }
    result = walked{};
    at_once = true;
  }
  const std::lock_guard guard{refused_guard_};
  refused_.erase(path);
  return result;
}

}  // namespace vrnskdm::platform
