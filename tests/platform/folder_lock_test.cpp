#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "support/temp_folder.h"

namespace vrnskdm::platform {
namespace {

// One holder at a time for each folder, and no file left in it to show the lock.
TEST(FolderLock, RefusesASecondHolderUntilTheFirstHasGone) {
  const testing::temp_folder folder;
  const testing::temp_folder other_folder;
  {
    const folder_lock first{folder.path()};
    EXPECT_FALSE(first.taken_elsewhere());
    EXPECT_TRUE(folder_lock{folder.path()}.taken_elsewhere());
    EXPECT_FALSE(folder_lock{other_folder.path()}.taken_elsewhere());
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
  }
  EXPECT_FALSE(folder_lock{folder.path()}.taken_elsewhere());
  // A folder that cannot be locked stops nobody.
  EXPECT_FALSE(folder_lock{folder.file("missing")}.taken_elsewhere());
}

}  // namespace
}  // namespace vrnskdm::platform
