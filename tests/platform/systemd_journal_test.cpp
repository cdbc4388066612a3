#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/journal.h"

namespace vrnskdm::platform {
namespace {

namespace fs = std::filesystem;

const fs::path journal_socket = "/run/systemd/journal/socket";

// Listens where the journal would, on a machine that has no journal of its own,
// and takes down what it made afterwards.
class stand_in_journal {
 public:
  stand_in_journal() {
    std::error_code error;
    fs::path folder = journal_socket.parent_path();
    while (!fs::exists(folder, error)) {
      made_.push_back(folder);
      folder = folder.parent_path();
    }
    fs::create_directories(journal_socket.parent_path());
    socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    journal_socket.string().copy(address.sun_path, sizeof address.sun_path - 1);
    bound_ = ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~stand_in_journal() {
    ::close(socket_);
    std::error_code ignored;
    if (bound_) fs::remove(journal_socket, ignored);
    for (const fs::path& folder : made_) fs::remove(folder, ignored);
  }

  bool listening() const { return bound_; }

  std::string receive() {
    std::array<char, 4096> datagram{};
    const ssize_t got = ::recv(socket_, datagram.data(), datagram.size(), MSG_DONTWAIT);
    return got > 0 ? std::string(datagram.data(), static_cast<std::size_t>(got)) : std::string{};
  }

 private:
  std::vector<fs::path> made_;
  int socket_ = -1;
  bool bound_ = false;
};

// Where nobody listens, recording is a quiet no-op, not a failure or a wait;
// where the journal listens, each event arrives with the program's identifier.
TEST(SystemdJournal, SendsEachEventWhereThereIsAJournal) {
  if (fs::exists(journal_socket)) GTEST_SKIP() << "this machine has a journal of its own";
  const auto started = std::chrono::steady_clock::now();
  systemd_journal{}.record("nobody listens");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds{1});

  stand_in_journal stand_in;
  ASSERT_TRUE(stand_in.listening());
  systemd_journal{}.record("Shutdown for no TELVANORE response");
  const std::string fields = stand_in.receive();
  EXPECT_NE(fields.find("MESSAGE=Shutdown for no TELVANORE response\n"), std::string::npos) << fields;
  EXPECT_NE(fields.find("SYSLOG_IDENTIFIER=vrnskdm\n"), std::string::npos) << fields;
}

}  // namespace
}  // namespace vrnskdm::platform
