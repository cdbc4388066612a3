#include "faulty_files.h"

namespace vrnskdm::testing {

bool faulty_files::injected(file_operation operation, const std::string& path) {
  ++operations;
  const bool failing = fails && fails(operation, path);
  if (failing) ++failures;
  return failing;
}

std::string faulty_files::path_of(platform::file_handle handle) const {
  const auto found = opened_.find(handle);
  return found == opened_.end() ? std::string{} : found->second;
}

std::string faulty_files::current_dir() {
  return injected(file_operation::current_dir, {}) ? "." : real_.current_dir();
}

bool faulty_files::file_exists(const std::string& path) {
  return !injected(file_operation::file_exists, path) && real_.file_exists(path);
}

bool faulty_files::delete_file(const std::string& path) {
  return !injected(file_operation::delete_file, path) && real_.delete_file(path);
}

bool faulty_files::may_delete_in(const std::string& folder) {
  return !injected(file_operation::may_delete_in, folder) && real_.may_delete_in(folder);
}

std::optional<std::string> faulty_files::file_behind(const std::string& path) {
  if (injected(file_operation::file_behind, path)) return std::nullopt;
  return real_.file_behind(path);
}

platform::file_handle faulty_files::free_handle() {
  return injected(file_operation::free_handle, {}) ? platform::no_handle : real_.free_handle();
}

bool faulty_files::open_text(platform::file_handle handle, const std::string& path,
                             platform::open_mode mode) {
  const file_operation operation = mode == platform::open_mode::input    ? file_operation::open_input
                                   : mode == platform::open_mode::output ? file_operation::open_output
                                                                         : file_operation::open_append;
  if (injected(operation, path) || !real_.open_text(handle, path, mode)) return false;
  opened_[handle] = path;
  return true;
}

bool faulty_files::read_line(platform::file_handle handle, std::string& line) {
  return !injected(file_operation::read_line, path_of(handle)) && real_.read_line(handle, line);
}

bool faulty_files::write_line(platform::file_handle handle, std::string_view text) {
  return !injected(file_operation::write_line, path_of(handle)) && real_.write_line(handle, text);
}

std::optional<std::int64_t> faulty_files::file_length(platform::file_handle handle) {
  if (injected(file_operation::file_length, path_of(handle))) return std::nullopt;
  return real_.file_length(handle);
}

bool faulty_files::sync_file(platform::file_handle handle) {
  return !injected(file_operation::sync_file, path_of(handle)) && real_.sync_file(handle);
}

bool faulty_files::close_file(platform::file_handle handle) {
  // The handle is given up whatever the answer, as a real close gives it up.
  const bool failing = injected(file_operation::close_file, path_of(handle));
  const bool closed = real_.close_file(handle);
  opened_.erase(handle);
  return closed && !failing;
}

void faulty_files::close_all_files() {
  real_.close_all_files();
  opened_.clear();
}

// The draft counts as the file it is opened beside; its own name, unknown before,
// is the path of the operations on its handle.
std::optional<std::string> faulty_files::open_draft(platform::file_handle handle,
                                                    const std::string& beside) {
  if (injected(file_operation::open_draft, beside)) return std::nullopt;
  std::optional<std::string> draft = real_.open_draft(handle, beside);
  if (draft) opened_[handle] = *draft;
  return draft;
}

bool faulty_files::remove_drafts(const std::string& beside) {
  return !injected(file_operation::remove_drafts, beside) && real_.remove_drafts(beside);
}

bool faulty_files::replace_file(const std::string& from, const std::string& to) {
  return !injected(file_operation::replace_file, to) && real_.replace_file(from, to);
}

bool faulty_files::flush_to_disk(const std::string& path) {
  return !injected(file_operation::flush_to_disk, path) && real_.flush_to_disk(path);
}

}  // namespace vrnskdm::testing
