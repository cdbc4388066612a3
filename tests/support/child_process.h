#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vrnskdm::testing {

// A program that a test runs beside itself, such as a bus daemon or a mock
// service. It is stopped and waited for when the object goes, whatever the
// test's outcome, and it is killed with the test process should that crash.
class child_process {
 public:
  // Runs argv[0], a full path, with the test's environment plus the
  // "NAME=value" entries given (which win over the test's own), standard input
  // from /dev/null and standard output and error appended to output_path, in
  // working_dir when one is given and in the test's own otherwise.
  // Throws when the program cannot be started.
  child_process(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                std::string output_path, const std::string& working_dir = {});
  ~child_process();
  child_process(const child_process&) = delete;
  child_process& operator=(const child_process&) = delete;

  // Whether it has ended by itself.
  bool has_ended();

  // Sends it a signal.
  void signal(int number) const;

  // Holds it still, as a program that hangs would be, until thaw.
  void freeze() const;
  void thaw() const;

  // What it has written so far, for failure messages.
  std::string output() const;

 private:
  void stop();

  std::string output_path_;
  pid_t pid_ = -1;
};

// Starts a program that tells on a descriptor of its own when it is ready
// (dbus-daemon's --print-address=FD, Xvfb's -displayfd FD), into child, with
// argv_telling_on giving its argv for that descriptor's number, and returns
// the first line it tells; empty when it tells nothing within 15 s.
std::string start_and_read_line(
    std::optional<child_process>& child,
    const std::function<std::vector<std::string>(int fd)>& argv_telling_on,
    const std::string& output_path);

}  // namespace vrnskdm::testing
