#include "journal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>
#include <utility>

namespace vrnskdm::platform {

namespace {

// Standard error never holds the watchdog up: a reader that stopped reading
// loses the line, which the journal has. Where standard error is no file, the
// bytes go only when poll says there is room at once: a socket's with
// MSG_DONTWAIT, a pipe's or a terminal's through an opening of its own that is
// non-blocking without changing the one the program shares with others.
// Another user's pipe or terminal (runuser ... | tee, a su session) cannot be
// opened again: a terminal is then reached as the controlling one, when it is;
// a pipe through the shared descriptor itself, never made non-blocking (that
// flag would change it for every other writer too), where no more than
// PIPE_BUF after poll's word that there is room goes whole at once. Gives how
// many bytes went, or -1.
ssize_t write_to_standard_error(std::string_view bytes) {
  struct stat info {};
  if (::fstat(STDERR_FILENO, &info) != 0) return -1;
  if (S_ISREG(info.st_mode)) return ::write(STDERR_FILENO, bytes.data(), bytes.size());
  pollfd room{STDERR_FILENO, POLLOUT, 0};
  if (::poll(&room, 1, 0) != 1 || room.revents != POLLOUT) return -1;
  if (S_ISSOCK(info.st_mode)) {
    return ::send(STDERR_FILENO, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  constexpr int own_flags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int own = ::open("/proc/self/fd/2", own_flags);
  // The terminal's session is known only to the program it is the controlling
  // terminal of; /dev/tty is then that terminal.
  if (own < 0 && S_ISCHR(info.st_mode) && ::tcgetsid(STDERR_FILENO) == ::getsid(0)) {
    own = ::open("/dev/tty", own_flags);
  }
  if (own >= 0) {
    const ssize_t written = ::write(own, bytes.data(), bytes.size());
    ::close(own);
    return written;
  }
  if (!S_ISFIFO(info.st_mode)) return -1;
  // Where the kernel has it, RWF_NOWAIT keeps another writer that filled the
  // pipe since the poll from holding this one up.
  const iovec vector{const_cast<char*>(bytes.data()), bytes.size()};
  const ssize_t written = ::pwritev2(STDERR_FILENO, &vector, 1, -1, RWF_NOWAIT);
  if (written >= 0 || errno != EOPNOTSUPP) return written;
  return ::write(STDERR_FILENO, bytes.data(), bytes.size());
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

void systemd_journal::warn(event kind, std::string_view message) {
  send(kind, message, '4');
  std::string line = "vrnskdm: " + std::string{message};
  line.resize(std::min<std::size_t>(line.size(), PIPE_BUF - 1));
  line.push_back('\n');
  // A terminal or a socket may take a line only in part when it is nearly
  // full: its rest goes before the next line, which is lost while it cannot.
  const std::lock_guard guard{standard_error_guard_};
  if (!unsent_.empty()) {
    const ssize_t written = write_to_standard_error(unsent_);
    unsent_.erase(0, written > 0 ? static_cast<std::size_t>(written) : 0);
    if (!unsent_.empty()) return;
  }
  const ssize_t written = write_to_standard_error(line);
  if (written > 0) unsent_ = line.substr(static_cast<std::size_t>(written));
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
