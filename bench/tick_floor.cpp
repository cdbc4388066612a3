// The least a once-a-second heartbeat watch can cost: wakes once a second and
// does only the file operations of a tick that finds the companion alive (stat
// the executable, stat the heartbeat, delete it), with nothing around them.
//
//   tick-floor FOLDER
//
// Runs until a signal ends it.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tick-floor FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string executable = folder + "/telvnor.exe";
  const std::string heartbeat = folder + "/telvnor.vkd";

  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (;;) {
    ++next.tv_sec;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
    }
    struct stat info {};
    if (::stat(executable.c_str(), &info) == 0 && ::stat(heartbeat.c_str(), &info) == 0) {
      ::unlink(heartbeat.c_str());
    }
  }
}
