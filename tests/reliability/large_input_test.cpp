#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
#include "support/simulated_watchdog.h"

namespace vrnskdm {
namespace {

using testing::simulated_watchdog;

using enum supervision::build;
constexpr off_t one_gibibyte = off_t{1} << 30;

// The most memory the process has held at once so far, in bytes.
long peak_memory() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss * 1024L;
}

// A file of the given size whose bytes are all NUL except the head and the tail,
// the rest a hole that takes no room on the disk.
void write_sparse(const std::string& path, std::string_view head, off_t size,
                  std::string_view tail) {
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(descriptor, 0);
  ASSERT_EQ(::write(descriptor, head.data(), head.size()), static_cast<ssize_t>(head.size()));
  ASSERT_EQ(::ftruncate(descriptor, size), 0);
  ASSERT_EQ(::pwrite(descriptor, tail.data(), tail.size(), size),
            static_cast<ssize_t>(tail.size()));
  ::close(descriptor);
}

// A settings file of any size neither stops the start-up nor costs memory in
// proportion: a 1 GiB first line is cut, skipped, and the lines after it read.
TEST(LargeInput, AOneGibibyteSettingsLineIsCutAndTheLinesAfterItRead) {
  simulated_watchdog run{debug};
  write_sparse(run.dir.file("vrnskdm.ini"), "telvnor_path=", one_gibibyte,
               "\r\nReboot=0\r\nReboot24=1\r\nReboot24_v=3\r\n");
  const long peak_before = peak_memory();
  run.load();
  run.advance(std::chrono::seconds{2});

  EXPECT_LT(peak_memory() - peak_before, 128L << 20);
  const std::string& folder = run.state().companion_dir;
  EXPECT_EQ(folder, std::string(platform::max_line_length - 13, '\0'));
  EXPECT_EQ(run.state().reboot_on_lock, 0);
  EXPECT_EQ(run.state().reboot_each, 1);
  EXPECT_EQ(run.state().period_index, 3);
  EXPECT_EQ(run.window().checking.caption, "TELVANORE seems to be not installed.");
  EXPECT_EQ(run.log_messages(), (std::vector<std::string>{"VARNISKELDAM Restarted"}));
  EXPECT_EQ(run.real_files.open_count(), 0u);
}

// Without any line end, the one line is all there is: the three numbers come from
// its cut value part, which starts with no number.
TEST(LargeInput, AOneGibibyteFileWithoutALineEndGivesZeros) {
  simulated_watchdog run{debug};
  write_sparse(run.dir.file("vrnskdm.ini"), "telvnor_path=", one_gibibyte, "7");
  const long peak_before = peak_memory();
  run.load();
  EXPECT_LT(peak_memory() - peak_before, 128L << 20);
  EXPECT_EQ(run.state().companion_dir.size(), platform::max_line_length - 13);
  EXPECT_EQ(run.state().reboot_on_lock, 0);
  EXPECT_EQ(run.state().reboot_each, 0);
  EXPECT_EQ(run.state().period_index, 0);
}

// The reader takes the file in chunks; a line end split between two of them is
// still one line end, and a CR alone at a chunk's end still ends its line.
TEST(LargeInput, LineEndsAtTheEdgeOfTheReadersChunksCountOnce) {
  testing::scratch_dir dir;
  platform::posix_files fs;
  for (std::size_t before = 65530; before <= 65540; ++before) {
    for (const std::string ending : {"\r\n", "\r", "\n"}) {
      SCOPED_TRACE(::testing::Message() << before << " bytes, ending " << ending.size());
      dir.write("in.txt", std::string(before - 40000, 'b') + std::string(40000 - 1, 'a') + "x" +
                              ending + "next" + ending + "last");
      const platform::file_handle handle = fs.free_handle();
      ASSERT_TRUE(fs.open_text(handle, dir.file("in.txt"), platform::open_mode::input));
      std::vector<std::string> lines;
      std::string line;
      while (fs.read_line(handle, line)) lines.push_back(line);
      fs.close_file(handle);
      ASSERT_EQ(lines.size(), 3u);
      EXPECT_EQ(lines[0], std::string(before - 40000, 'b') +
                              std::string(platform::max_line_length - (before - 40000), 'a'));
      EXPECT_EQ(lines[1], "next");
      EXPECT_EQ(lines[2], "last");
    }
  }
}

// Numbers a double cannot hold are infinite when too large and zero when too
// small, however they are written: the sign of the exponent alone does not say.
TEST(LargeInput, NumbersTooLargeOrTooSmallForADoubleGoTheRightWay) {
  const std::string zeros(400, '0');
  const struct {
    std::string text;
    double expected;
  } cases[] = {
      {"0." + zeros + "1", 0},
      {"-0." + zeros + "1", 0},
      {"." + zeros + "5e3", 0},
      {"1" + zeros, HUGE_VAL},
      {"-1" + zeros, -HUGE_VAL},
      {"1" + zeros + "e-50", HUGE_VAL},
      {"0." + zeros + "1e50", 0},
      {"1e-400", 0},
      {"1e400", HUGE_VAL},
      {"1e99999999999999999999", HUGE_VAL},
      {"1e-99999999999999999999", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::parse_number(c.text), c.expected) << c.text.substr(0, 12);
  }
}

}  // namespace
}  // namespace vrnskdm
