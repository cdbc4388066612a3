#include "journal.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <utility>

namespace vrnskdm::platform {

namespace {

// A line that cannot go at once is lost; the journal has it.
void write_or_drop(int descriptor, const std::string& line) {
  [[maybe_unused]] const ssize_t written = ::write(descriptor, line.data(), line.size());
}

// The journal's native form: "FIELD=value" lines; a value with a line break in
// it goes as the field's name, its length as 64-bit little-endian, and the bytes.
void append_field(std::string& entry, std::string_view name, std::string_view value) {
  entry.append(name);
  if (value.find('\n') == std::string_view::npos) {
    entry.append("=").append(value).push_back('\n');
    return;
  }
  entry.push_back('\n');
  std::uint64_t length = value.size();
  for (int byte = 0; byte < 8; ++byte) {
    entry.push_back(static_cast<char>(length & 0xff));
    length >>= 8;
  }
  entry.append(value).push_back('\n');
}

std::string journal_entry(event kind, std::string_view message, char priority,
                          std::string_view folder, std::string_view companion_folder) {
  std::string entry = "SYSLOG_IDENTIFIER=vrnskdm\nPRIORITY=";
  entry.push_back(priority);
  entry.push_back('\n');
  append_field(entry, "MESSAGE_ID", message_id(kind));
  append_field(entry, "VRNSKDM_FOLDER", folder);
  append_field(entry, "VRNSKDM_COMPANION_FOLDER", companion_folder);
  append_field(entry, "MESSAGE", message);
  return entry;
}

}  // namespace

systemd_journal::systemd_journal(std::string socket_path) : socket_path_{std::move(socket_path)} {}

// syslog's priorities: 5 notice for the events, 4 warning for the administrator.
void systemd_journal::record(event kind, std::string_view message) { send(kind, message, '5'); }

// Standard error never holds the watchdog up: a reader that stopped reading
// loses the line, which the journal has. A pipe or a terminal is reached
// through an opening of its own, non-blocking without changing the one the
// program shares with others; a line no longer than PIPE_BUF goes whole or
// not at all.
void systemd_journal::warn(event kind, std::string_view message) {
  send(kind, message, '4');
  std::string line = "vrnskdm: " + std::string{message};
  line.resize(std::min<std::size_t>(line.size(), PIPE_BUF - 1));
  line.push_back('\n');
  struct stat info {};
  if (::fstat(STDERR_FILENO, &info) != 0) return;
  if (S_ISREG(info.st_mode)) {
    write_or_drop(STDERR_FILENO, line);
  } else if (S_ISSOCK(info.st_mode)) {
    static_cast<void>(::send(STDERR_FILENO, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL));
  } else {
    const int own = ::open("/proc/self/fd/2", O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own < 0) return;
    write_or_drop(own, line);
    ::close(own);
  }
}

void systemd_journal::set_folders(std::string folder, std::string companion_folder) {
  folder_ = std::move(folder);
  companion_folder_ = std::move(companion_folder);
}

void systemd_journal::send(event kind, std::string_view message, char priority) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path_.size() >= sizeof address.sun_path) return;
  socket_path_.copy(address.sun_path, socket_path_.size());
  const int descriptor = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (descriptor < 0) return;
  const std::string entry = journal_entry(kind, message, priority, folder_, companion_folder_);
  ::sendto(descriptor, entry.data(), entry.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
           reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::close(descriptor);
}

}  // namespace vrnskdm::platform
