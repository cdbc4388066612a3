#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "support/faulty_watchdog.h"
#include "support/simulated_watchdog.h"

namespace vrnskdm::supervision {
namespace {

using namespace std::chrono_literals;
using testing::crlf_lines;
using testing::file_operation;
using testing::simulated_watchdog;
using testing::lines;

using enum supervision::build;

// Every operation failing in turn, summed over the tests, for the record.
int faults_injected = 0;

// One event of the running program, from a situation set up without faults.
struct phase {
  const char* name;
  std::function<void(simulated_watchdog&)> set_up;
  std::function<void(simulated_watchdog&)> run;
  std::size_t shipped_requests = 0;  // restart requests of the fault-free run
  bool reads_settings = false;
};

void start_beating(simulated_watchdog& run) {
  run.write_settings(1, 1, 0);
  run.install_companion();
  run.load();
  run.beat();
}

void one_tick(simulated_watchdog& run) { run.advance(1s); }

const phase phases[] = {
    {"start-up",
     [](simulated_watchdog& run) {
       run.write_settings(1, 1, 2);
       run.install_companion();
       run.dir.write("report.log", "2026/03/01 08:00:00 VARNISKELDAM Restarted\r\n");
     },
     [](simulated_watchdog& run) { run.load(); }, 0, true},
    {"alive tick", start_beating, one_tick},
    {"silent tick",
     [](simulated_watchdog& run) {
       start_beating(run);
       run.advance(1s);
     },
     one_tick},
    {"lock restart tick",
     [](simulated_watchdog& run) {
       start_beating(run);
       run.advance(1s);            // alive
       run.advance(181s + 500ms);  // silent from here; the countdown runs out
     },
     [](simulated_watchdog& run) { run.advance(500ms); }, 1},
    {"due tick with the marker",
     [](simulated_watchdog& run) {
       start_beating(run);
       run.clock.step_wall(24h);
     },
     one_tick, 1},
    {"renewal tick",
     [](simulated_watchdog& run) {
       start_beating(run);
       run.clock.step_wall(24h);
       std::filesystem::remove(run.dir.file("delete.me"));
     },
     one_tick},
};

const std::regex whole_entry{
    R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d (VARNISKELDAM Restarted|Shutdown for no TELVANORE response|)"
    R"(VARNISKELDAM Unable to REBOOT!|Reboot not performed because debug mode is active\.|)"
    R"(Shutdown\. DELETE\.ME found not deleted\.|Reboot not executed\. Debug mode is active\.|)"
    R"(Timeout check performed\. DELETE\.ME created\.)|Event list exceeded 64k cleared\.)"};

// True when every element of part appears in whole, in the same order.
bool in_order_within(const lines& part, const lines& whole) {
  auto next = whole.begin();
  for (const std::string& element : part) {
    next = std::find(next, whole.end(), element);
    if (next == whole.end()) return false;
    ++next;
  }
  return true;
}

// What a phase leaves behind.
struct outcome {
  lines log;
  lines marker;
  std::size_t requests = 0;
  int operations = 0;
  bool ended = false;
  std::optional<file_operation> failed;  // the first operation made to fail
};

enum class fault_kind {
  once,       // the one operation fails
  from_then,  // it and every one after it fail, as when the disk goes away
};

struct faulted_phase {
  std::unique_ptr<testing::faulty_watchdog> faulty;
  outcome result;
};

// Sets the phase up, then runs it with the operations counted from its start
// failing as told; failing < 0 fails none.
faulted_phase run_phase(const phase& p, supervision::build build_kind, int failing, fault_kind kind) {
  faulted_phase f{std::make_unique<testing::faulty_watchdog>(build_kind, nullptr), {}};
  simulated_watchdog& run = f.faulty->run;
  testing::faulty_files& files = f.faulty->files;
  p.set_up(run);
  const int first = files.operations;
  outcome& result = f.result;
  files.fails = [&files, &result, first, failing, kind](file_operation operation,
                                                        const std::string&) {
    const int step = files.operations - 1 - first;
    const bool fails =
        failing >= 0 && (kind == fault_kind::once ? step == failing : step >= failing);
    if (fails && !result.failed) result.failed = operation;
    return fails;
  };
  try {
    p.run(run);
  } catch (const testing::program_ended&) {
    f.result.ended = true;
  }
  files.fails = nullptr;
  f.result.operations = files.operations - first;
  faults_injected += files.failures;
  f.result.log = run.log_lines();
  f.result.marker = crlf_lines(run.dir.read("delete.me"));
  f.result.requests = run.restart.requests.size();
  return f;
}

// Each file operation of each kind of event failing in turn, once or for good:
// the program never stops (but for the debug build's undeletable heartbeat),
// keeps no file open, loses at most what the failing step was writing, never
// tears a line, and asks for no restart the fault-free run would not.
TEST(InjectedFaults, EveryFileOperationFailingInTurnNeverStopsTheWatch) {
  for (const supervision::build build_kind : {shipped, debug}) {
    for (const phase& p : phases) {
      const outcome reference = run_phase(p, build_kind, -1, fault_kind::once).result;
      ASSERT_GT(reference.operations, 0) << p.name;
      ASSERT_FALSE(reference.ended) << p.name;
      ASSERT_EQ(reference.requests, build_kind == shipped ? p.shipped_requests : 0u) << p.name;
      for (const fault_kind kind : {fault_kind::once, fault_kind::from_then}) {
        for (int failing = 0; failing < reference.operations; ++failing) {
          SCOPED_TRACE(::testing::Message()
                       << p.name << (build_kind == debug ? ", debug build" : "") << ", operation " << failing
                       << (kind == fault_kind::once ? " fails" : " and all after fail"));
          faulted_phase f = run_phase(p, build_kind, failing, kind);
          simulated_watchdog& run = f.faulty->run;
          const outcome& got = f.result;

          EXPECT_EQ(f.faulty->real.open_count(), 0u);
          EXPECT_TRUE(run.window().timer1.enabled());
          const double countdown = run.state().countdown;
          EXPECT_TRUE(countdown >= 0 && countdown <= 180 &&
                      countdown * 2 == std::floor(countdown * 2));
          if (got.ended) {
            // Only the debug build stops, and only for a heartbeat it cannot delete.
            EXPECT_EQ(build_kind, debug);
            EXPECT_TRUE(run.heartbeat_waiting());
            continue;
          }
          for (const std::string& line : got.log) {
            EXPECT_TRUE(std::regex_match(line, whole_entry)) << line;
          }
          EXPECT_LE(got.requests, reference.requests);
          const bool renewed_instead =
              !in_order_within(got.log, reference.log) &&
              std::any_of(got.log.begin(), got.log.end(), [](const std::string& line) {
                return line.ends_with("Timeout check performed. DELETE.ME created.");
              });
          if (renewed_instead) {
            // A marker that cannot be looked for counts as deleted: the period
            // is renewed, and no restart asked for.
            EXPECT_EQ(p.shipped_requests, 1u);
            EXPECT_EQ(got.requests, 0u);
          } else {
            // Otherwise a failure changes only whether something is written,
            // and a single one at most the entry it hit, unless it was a look
            // for a file, which decides what the tick does.
            EXPECT_TRUE(in_order_within(got.log, reference.log));
            if (kind == fault_kind::once && got.failed != file_operation::file_exists) {
              EXPECT_GE(got.log.size() + 1, reference.log.size());
            }
          }
          for (const std::string& line : got.marker) {
            EXPECT_TRUE(line.starts_with("Delete this file to don't make reboot the system in ") ||
                        std::regex_match(line, std::regex{R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)"}))
                << line;
          }

          // With the faults gone, the watch carries on as if nothing had happened.
          run.beat();
          EXPECT_NO_THROW(run.advance(1s));
          // Settings read wrongly may point the watch elsewhere; what counts is
          // that it goes on.
          if (p.reads_settings) continue;
          EXPECT_EQ(run.window().checking.caption.rfind("TELVANORE alive at: ", 0), 0u)
              << run.window().checking.caption;
          EXPECT_EQ(run.state().countdown, 180);
          EXPECT_FALSE(run.window().timer2.enabled());
          EXPECT_EQ(f.faulty->real.open_count(), 0u);
        }
      }
    }
  }
  std::printf("[ faults   ] %d file operations failed on purpose\n", faults_injected);
}

struct lasting_condition {
  const char* name;
  std::function<void(simulated_watchdog&)> set_up;  // after the usual settings and companion
  testing::fault_rule rule;
  bool companion_seen = true;
  bool marker_written = true;
  bool log_written = true;
};

// Files the program cannot use for as long as it runs: it goes on watching,
// restarts for a silent companion when it can see one, and at the end of a
// period restarts when the marker is there and begins a new period, once,
// when it could not write it.
TEST(InjectedFaults, LastingFileProblemsNeverStopTheWatch) {
  const auto nothing = [](simulated_watchdog&) {};
  const lasting_condition conditions[] = {
      {"the log over its cap",
       [](simulated_watchdog& run) { run.dir.write("report.log", std::string(64001, 'x')); },
       nullptr},
      {"the log unwritable", nothing,
       [](file_operation op, const std::string& path) {
         return path.ends_with("/report.log") &&
                (op == file_operation::open_append || op == file_operation::open_output);
       },
       true, true, false},
      {"the log a folder", [](simulated_watchdog& run) { run.dir.make_folder("report.log"); },
       nullptr, true, true, false},
      {"the marker unwritable", nothing,
       [](file_operation op, const std::string& path) {
         return op == file_operation::open_output && path.ends_with("/delete.me");
       },
       true, false, true},
      {"the marker a folder", [](simulated_watchdog& run) { run.dir.make_folder("delete.me"); },
       nullptr, true, false, true},
      {"the companion folder missing",
       [](simulated_watchdog& run) { std::filesystem::remove_all(run.companion_dir()); }, nullptr,
       false},
      {"the companion folder unreadable", nothing,
       [](file_operation op, const std::string& path) {
         return op == file_operation::file_exists && path.find("/telvnor/") != std::string::npos;
       },
       false},
      {"the companion folder a file",
       [](simulated_watchdog& run) {
         std::filesystem::remove_all(run.companion_dir());
         run.dir.write("telvnor", "");
       },
       nullptr, false},
  };
  for (const auto& c : conditions) {
    SCOPED_TRACE(c.name);
    testing::faulty_watchdog faulty{shipped, c.rule};
    simulated_watchdog& run = faulty.run;
    run.write_settings(1, 1, 0);
    run.install_companion();
    c.set_up(run);
    bool beating = true;
    run.before_each_tick = [&] {
      if (beating && c.companion_seen) run.beat();
    };
    run.load();
    run.advance(10min);
    beating = false;
    run.advance(200s);
    beating = true;
    run.advance(10s);
    EXPECT_EQ(run.restart.requests.size(), c.companion_seen ? 1u : 0u);
    EXPECT_EQ(run.window().checking.caption.starts_with("TELVANORE alive at: "), c.companion_seen)
        << run.window().checking.caption;

    const std::size_t lock_restarts = run.restart.requests.size();
    run.clock.step_wall(24h);
    run.advance(5s);
    if (c.marker_written) {
      EXPECT_EQ(run.restart.requests.size(), lock_restarts + 5);
    } else {
      // One new period, and none of it due for another day.
      const platform::date_time renewed_at = run.clock.now() - 4s;
      run.advance(1h);
      EXPECT_EQ(run.restart.requests.size(), lock_restarts);
      EXPECT_EQ(run.state().cycle_start, renewed_at);
    }
    EXPECT_EQ(faulty.real.open_count(), 0u);
    EXPECT_TRUE(run.window().timer1.enabled());
    faults_injected += faulty.files.failures;
    const lines logged = run.log_messages();
    if (!c.log_written) {
      EXPECT_TRUE(logged.empty());
      continue;
    }
    EXPECT_EQ(testing::count_of(logged, "VARNISKELDAM Restarted"), 1u);
    EXPECT_EQ(testing::count_of(logged, "Shutdown for no TELVANORE response"),
              c.companion_seen ? 1u : 0u);
    EXPECT_EQ(testing::count_of(logged, "Timeout check performed. DELETE.ME created."),
              c.marker_written ? 0u : 1u);
  }
  std::printf("[ faults   ] %d file operations failed on purpose\n", faults_injected);
}

}  // namespace
}  // namespace vrnskdm::supervision
