#include "memory_files.h"

#include <algorithm>

namespace vrnskdm::testing {

platform::file_handle memory_files::free_handle() {
  for (platform::file_handle handle = 1; handle <= platform::last_handle; ++handle) {
    if (!open_.contains(handle)) return handle;
  }
  return platform::no_handle;
}

bool memory_files::open_text(platform::file_handle handle, const std::string& path,
                             platform::open_mode mode) {
  if (handle < 1 || handle > platform::last_handle || open_.contains(handle) || path.empty()) return false;
  switch (mode) {
    case platform::open_mode::input:
      if (!contents_.contains(path)) return false;
      break;
    case platform::open_mode::output: contents_[path].clear(); break;
    case platform::open_mode::append: contents_[path]; break;
  }
  open_[handle] = open_file{path};
  return true;
}

std::string* memory_files::bytes_of(const open_file& file) {
  const auto found = contents_.find(file.path);
  return found == contents_.end() ? nullptr : &found->second;
}

bool memory_files::read_line(platform::file_handle handle, std::string& line) {
  const auto file = open_.find(handle);
  if (file == open_.end()) return false;
  const std::string* bytes = bytes_of(file->second);
  std::size_t& from = file->second.read_from;
  if (bytes == nullptr || from >= bytes->size()) return false;
  const std::size_t end = std::min(bytes->find("\r\n", from), bytes->size());
  line = bytes->substr(from, std::min(end - from, platform::max_line_length));
  from = std::min(end + 2, bytes->size());
  return true;
}

bool memory_files::write_line(platform::file_handle handle, std::string_view text) {
  const auto file = open_.find(handle);
  if (file == open_.end()) return false;
  std::string* bytes = bytes_of(file->second);
  if (bytes == nullptr) return false;
  bytes->append(text).append("\r\n");
  written_.emplace_back(file->second.path, text);
  return true;
}

std::optional<std::int64_t> memory_files::file_length(platform::file_handle handle) {
  const auto file = open_.find(handle);
  if (file == open_.end()) return std::nullopt;
  const std::string* bytes = bytes_of(file->second);
  if (bytes == nullptr) return std::nullopt;
  return static_cast<std::int64_t>(bytes->size());
}

std::optional<std::string> memory_files::open_draft(platform::file_handle handle,
                                                    const std::string& beside) {
  const std::string draft = beside + ".new-" + std::string(10, 'A');
  if (contents_.contains(draft) || !open_text(handle, draft, platform::open_mode::output)) {
    return std::nullopt;
  }
  return draft;
}

bool memory_files::remove_drafts(const std::string& beside) {
  std::erase_if(contents_,
                [&beside](const auto& file) { return platform::is_draft_of(file.first, beside); });
  return true;
}

bool memory_files::replace_file(const std::string& from, const std::string& to) {
  const auto found = contents_.find(from);
  if (found == contents_.end()) return false;
  std::string bytes = std::move(found->second);
  contents_.erase(found);
  contents_[to] = std::move(bytes);
  return true;
}

std::string_view memory_files::read(const std::string& path) const {
  const auto found = contents_.find(path);
  return found == contents_.end() ? std::string_view{} : std::string_view{found->second};
}

std::size_t memory_files::bytes_held() const {
  std::size_t bytes = 0;
  for (const auto& [path, content] : contents_) bytes += content.capacity();
  return bytes;
}

}  // namespace vrnskdm::testing
