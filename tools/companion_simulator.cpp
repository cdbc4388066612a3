// A stand-in for the companion program, for trying the watchdog out and for
// end-to-end tests: it creates the companion's executable in a folder and then
// its heartbeat file at a steady rate, and falls silent on demand.
//
//   companion-sim FOLDER [--every MS] [--silent-after SECONDS]
//
// SIGUSR1 makes it fall silent, SIGUSR2 beat again; SIGINT or SIGTERM end it.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

volatile std::sig_atomic_t silent_requested = 0;
volatile std::sig_atomic_t beat_requested = 0;
volatile std::sig_atomic_t stop_requested = 0;

void on_signal(int signal) {
  if (signal == SIGUSR1) silent_requested = 1;
  if (signal == SIGUSR2) beat_requested = 1;
  if (signal == SIGINT || signal == SIGTERM) stop_requested = 1;
}

bool touch(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor < 0) return false;
  ::close(descriptor);
  return true;
}

struct options {
  std::string folder;
  long every_ms = 500;
  long silent_after_s = -1;
};

[[noreturn]] void usage() {
  std::fprintf(stderr, "usage: companion-sim FOLDER [--every MS] [--silent-after SECONDS]\n");
  std::exit(2);
}

long positive_number(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0) usage();
  return value;
}

options parse(int argc, char** argv) {
  options parsed;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--every" && i + 1 < argc) {
      parsed.every_ms = positive_number(argv[++i]);
    } else if (argument == "--silent-after" && i + 1 < argc) {
      parsed.silent_after_s = positive_number(argv[++i]);
    } else if (parsed.folder.empty() && !argument.starts_with("--")) {
      parsed.folder = argument;
    } else {
      usage();
    }
  }
  if (parsed.folder.empty() || parsed.every_ms == 0) usage();
  return parsed;
}

timespec plus_ms(timespec t, long ms) {
  t.tv_nsec += (ms % 1000) * 1'000'000;
  t.tv_sec += ms / 1000 + t.tv_nsec / 1'000'000'000;
  t.tv_nsec %= 1'000'000'000;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const options opts = parse(argc, argv);
  struct sigaction action {};
  action.sa_handler = on_signal;
  for (const int signal : {SIGUSR1, SIGUSR2, SIGINT, SIGTERM}) sigaction(signal, &action, nullptr);

  ::mkdir(opts.folder.c_str(), 0755);
  if (!touch(opts.folder + "/telvnor.exe")) {
    std::perror(opts.folder.c_str());
    return 1;
  }
  const std::string heartbeat = opts.folder + "/telvnor.vkd";
  std::printf("beating in %s every %ld ms\n", opts.folder.c_str(), opts.every_ms);
  std::fflush(stdout);

  timespec started{};
  clock_gettime(CLOCK_MONOTONIC, &started);
  timespec next = started;
  bool silent = false;
  bool silent_after_due = opts.silent_after_s >= 0;
  long beats = 0;
  while (!stop_requested) {
    if (silent_after_due && beats * opts.every_ms >= opts.silent_after_s * 1000) {
      silent_after_due = false;
      silent_requested = 1;
    }
    if (silent_requested) {
      silent_requested = 0;
      silent = true;
      std::printf("silent\n");
      std::fflush(stdout);
    }
    if (beat_requested) {
      beat_requested = 0;
      silent = false;
      std::printf("beating\n");
      std::fflush(stdout);
    }
    if (!silent) touch(heartbeat);
    ++beats;
    next = plus_ms(next, opts.every_ms);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR &&
           !stop_requested && !silent_requested && !beat_requested) {
    }
  }
  return 0;
}
