#include "journal.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace vrnskdm::platform {

namespace {

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
  std::fprintf(stderr, "vrnskdm: %.*s\n", static_cast<int>(message.size()), message.data());
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
