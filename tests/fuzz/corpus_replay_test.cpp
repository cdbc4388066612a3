#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_targets.h"

namespace vrnskdm::fuzzing {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> bytes_of(const fs::path& file) {
  std::ifstream in{file, std::ios::binary};
  return {std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}};
}

void replay(const char* target, void (*run)(input)) {
  int replayed = 0;
  for (const auto& entry : fs::directory_iterator{fs::path{VRNSKDM_FUZZ_CORPUS} / target}) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<std::uint8_t> bytes = bytes_of(entry.path());
    EXPECT_NO_THROW(run(bytes));
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

// The seeds and every input the fuzzers ever found a fault with, in every build.
TEST(FuzzCorpus, SettingsFiles) { replay("settings_file", settings_file); }
TEST(FuzzCorpus, Numbers) { replay("numbers", numbers); }
TEST(FuzzCorpus, TextLines) { replay("text_lines", text_lines); }

}  // namespace
}  // namespace vrnskdm::fuzzing
