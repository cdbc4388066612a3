#include "scratch_dir.h"

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vrnskdm::testing {

namespace fs = std::filesystem;

scratch_dir::scratch_dir() : previous_dir_{fs::current_path().string()} {
  fs::current_path(path());
}

// The folder itself goes after, with temp_folder.
scratch_dir::~scratch_dir() {
  std::error_code ignored;
  fs::current_path(previous_dir_, ignored);
}

std::string scratch_dir::file(std::string_view name) const { return folder_.file(std::string{name}); }

bool scratch_dir::exists(std::string_view name) const { return fs::exists(file(name)); }

std::string scratch_dir::read(std::string_view name) const {
  std::ifstream in{file(name), std::ios::binary};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void scratch_dir::write(std::string_view name, std::string_view bytes) const {
  std::ofstream out{file(name), std::ios::binary | std::ios::trunc};
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void scratch_dir::make_folder(std::string_view name) const { fs::create_directories(file(name)); }

std::vector<std::string> crlf_lines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    lines.emplace_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
  }
  return lines;
}

std::vector<std::string> log_messages(std::string_view log_text) {
  std::vector<std::string> messages;
  const std::size_t stamp = std::string_view{"YYYY/MM/DD HH:MM:SS "}.size();
  for (const std::string& line : crlf_lines(log_text)) {
    const bool stamped = line.size() >= stamp && line[4] == '/' && line[stamp - 1] == ' ';
    messages.push_back(stamped ? line.substr(stamp) : line);
  }
  return messages;
}

std::string crlf_text(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::size_t count_of(const lines& within, std::string_view text) {
  return static_cast<std::size_t>(std::count(within.begin(), within.end(), text));
}

}  // namespace vrnskdm::testing
