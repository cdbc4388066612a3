#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "owned_fd.h"

extern char** environ;

namespace vrnskdm::testing {

namespace {

using namespace std::chrono_literals;

// A program that ignores SIGTERM this long is killed.
constexpr auto stop_grace = 5s;

std::string name_of(const std::string& entry) { return entry.substr(0, entry.find('=')); }

std::vector<std::string> merged_environment(const std::vector<std::string>& overrides) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string inherited{*entry};
    const bool overridden = std::ranges::any_of(
        overrides, [&](const std::string& own) { return name_of(own) == name_of(inherited); });
    if (!overridden) merged.push_back(inherited);
  }
  merged.insert(merged.end(), overrides.begin(), overrides.end());
  return merged;
}

// The exec family wants mutable, null-terminated arrays of C strings.
std::vector<char*> c_strings(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

child_process::child_process(const std::vector<std::string>& argv,
                             const std::vector<std::string>& environment, std::string output_path,
                             const std::string& working_dir)
    : output_path_{std::move(output_path)} {
  // Everything the child needs is prepared here: between fork and exec only
  // async-signal-safe calls may run.
  std::vector<std::string> arguments = argv;
  std::vector<std::string> variables = merged_environment(environment);
  const std::vector<char*> c_argv = c_strings(arguments);
  const std::vector<char*> c_envp = c_strings(variables);
  const owned_fd input{::open("/dev/null", O_RDONLY | O_CLOEXEC)};
  const owned_fd output{
      ::open(output_path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)};
  if (input.fd < 0 || output.fd < 0) throw std::runtime_error("cannot open " + output_path_);
  const pid_t parent = ::getpid();

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error(std::string{"fork failed: "} + std::strerror(errno));
  if (pid_ == 0) {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
    if (::dup2(input.fd, STDIN_FILENO) < 0 || ::dup2(output.fd, STDOUT_FILENO) < 0 ||
        ::dup2(output.fd, STDERR_FILENO) < 0) {
      ::_exit(127);
    }
    if (!working_dir.empty() && ::chdir(working_dir.c_str()) != 0) ::_exit(127);
    ::execve(c_argv[0], c_argv.data(), c_envp.data());
    ::_exit(127);
  }
}

child_process::~child_process() { stop(); }

bool child_process::has_ended() {
  if (pid_ < 0) return true;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == 0) return false;
  pid_ = -1;
  return true;
}

void child_process::signal(int number) const {
  if (pid_ > 0) ::kill(pid_, number);
}

void child_process::freeze() const { signal(SIGSTOP); }

void child_process::thaw() const { signal(SIGCONT); }

std::string child_process::output() const {
  std::ifstream in{output_path_, std::ios::binary};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void child_process::stop() {
  if (has_ended()) return;
  // A frozen program would keep SIGTERM pending for ever.
  thaw();
  ::kill(pid_, SIGTERM);
  const auto give_up = std::chrono::steady_clock::now() + stop_grace;
  while (!has_ended()) {
    if (std::chrono::steady_clock::now() >= give_up) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(10ms);
  }
}

std::string start_and_read_line(
    std::optional<child_process>& child,
    const std::function<std::vector<std::string>(int fd)>& argv_telling_on,
    const std::string& output_path) {
  // Long enough for a loaded machine running the sanitizer build.
  constexpr int start_timeout_ms = 15000;
  // The write end stays open across exec so that the program can tell on it;
  // the read end does not.
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  const owned_fd read_end{ends[0]};
  owned_fd write_end{ends[1]};
  ::fcntl(write_end.fd, F_SETFD, 0);
  child.emplace(argv_telling_on(write_end.fd), std::vector<std::string>{}, output_path);
  // Only the program may hold it now, so that its end shows as end of file.
  write_end.close();

  std::string line;
  char c = 0;
  for (;;) {
    pollfd ready{read_end.fd, POLLIN, 0};
    if (::poll(&ready, 1, start_timeout_ms) <= 0 || ::read(read_end.fd, &c, 1) != 1 || c == '\n')
      break;
    line += c;
  }
  return line;
}

}  // namespace vrnskdm::testing
