#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/private_bus.h"
#include "support/scratch_dir.h"
#include "support/stand_ins.h"
#include "support/temp_folder.h"

namespace {

// What getrandom fails with, as a seccomp filter or a pool not ready yet just
// after the machine started make it fail; 0 while it works.
int getrandom_error = 0;
// The inode of each file and folder fsync was given while counting, which
// only this thread's test does: other tests may flush from threads of theirs.
std::atomic<bool> counting_syncs = false;
std::vector<ino_t> synced;
// While set, fsync waits for it to be cleared, 5 s at most: a flush that
// waits for the disk without a bound then fails its test instead of hanging it.
std::mutex stall_lock;
std::condition_variable stall_over;
bool stalled = false;
int fsyncs_while_stalled = 0;

}  // namespace

namespace vrnskdm::testing {

stalled_disk::stalled_disk() {
  const std::lock_guard hold{stall_lock};
  stalled = true;
  fsyncs_while_stalled = 0;
}

stalled_disk::~stalled_disk() {
  const std::lock_guard hold{stall_lock};
  stalled = false;
  stall_over.notify_all();
}

int stalled_disk::fsyncs_begun() const {
  const std::lock_guard hold{stall_lock};
  return fsyncs_while_stalled;
}

}  // namespace vrnskdm::testing

// The C library's, for the whole test program: the one failing when told to,
// the other counted.
extern "C" ssize_t getrandom(void* buffer, std::size_t length, unsigned int flags) {
  if (getrandom_error != 0) {
    errno = getrandom_error;
    return -1;
  }
  return ::syscall(SYS_getrandom, buffer, length, flags);
}

extern "C" int fsync(int descriptor) {
  struct stat info {};
  if (counting_syncs && ::fstat(descriptor, &info) == 0) synced.push_back(info.st_ino);
  {
    std::unique_lock hold{stall_lock};
    if (stalled) ++fsyncs_while_stalled;
    stall_over.wait_for(hold, std::chrono::seconds{5}, [] { return !stalled; });
  }
  return static_cast<int>(::syscall(SYS_fsync, descriptor));
}

namespace vrnskdm::platform {
namespace {

using testing::lines;
using testing::scratch_dir;

ino_t inode_of(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_ino;
}

class PosixFiles : public ::testing::Test {
 protected:
  std::vector<std::string> read_all(const std::string& bytes) {
    dir.write("in.txt", bytes);
    const file_handle handle = fs.free_handle();
    EXPECT_TRUE(fs.open_text(handle, dir.file("in.txt"), open_mode::input));
    std::vector<std::string> lines;
    std::string line;
    while (fs.read_line(handle, line)) lines.push_back(line);
    fs.close_file(handle);
    return lines;
  }

  scratch_dir dir;
  posix_files fs;
};

TEST_F(PosixFiles, ALineEndsAtCrLfALoneCrOrALoneLf) {
  EXPECT_EQ(read_all("a\r\nb\r\n"), (lines{"a", "b"}));
  EXPECT_EQ(read_all("a\rb\nc"), (lines{"a", "b", "c"}));
  EXPECT_EQ(read_all("a\n\rb"), (lines{"a", "", "b"}));  // LF then a lone CR
  EXPECT_EQ(read_all("\r\n\r\n"), (lines{"", ""}));
  EXPECT_EQ(read_all("a\r"), (lines{"a"}));
  EXPECT_EQ(read_all(""), (lines{}));
  EXPECT_EQ(read_all(std::string("a\0b\r\n", 5)), (lines{std::string("a\0b", 3)}));
}

TEST_F(PosixFiles, ReadingPastTheEndFailsAndLeavesTheBufferAlone) {
  dir.write("in.txt", "only\r\n");
  const file_handle handle = fs.free_handle();
  ASSERT_TRUE(fs.open_text(handle, dir.file("in.txt"), open_mode::input));
  std::string line;
  ASSERT_TRUE(fs.read_line(handle, line));
  EXPECT_FALSE(fs.read_line(handle, line));
  EXPECT_EQ(line, "only");
  EXPECT_FALSE(fs.read_line(handle, line));
  EXPECT_EQ(line, "only");
}

// A settings file of any size must not cost memory in proportion.
TEST_F(PosixFiles, AVeryLongLineIsCutAndTheNextLineStillRead) {
  const auto lines = read_all(std::string(3 * max_line_length + 17, 'x') + "\r\nnext\r\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(max_line_length, 'x'));
  EXPECT_EQ(lines[1], "next");
}

TEST_F(PosixFiles, WritesLinesWithCrLfInEachMode) {
  const std::string path = dir.file("out.txt");
  file_handle handle = fs.free_handle();
  ASSERT_TRUE(fs.open_text(handle, path, open_mode::append));  // creates
  ASSERT_TRUE(fs.write_line(handle, "one"));
  ASSERT_TRUE(fs.close_file(handle));
  ASSERT_TRUE(fs.open_text(handle, path, open_mode::append));
  ASSERT_TRUE(fs.write_line(handle, ""));
  EXPECT_EQ(fs.file_length(handle), 7);
  ASSERT_TRUE(fs.close_file(handle));
  EXPECT_EQ(dir.read("out.txt"), "one\r\n\r\n");

  ASSERT_TRUE(fs.open_text(handle, path, open_mode::output));  // empties
  ASSERT_TRUE(fs.write_line(handle, "two"));
  ASSERT_TRUE(fs.sync_file(handle));
  ASSERT_TRUE(fs.close_file(handle));
  EXPECT_EQ(dir.read("out.txt"), "two\r\n");
}

// On a disk whose fsync never returns, a flush fails once its bound is out
// (SAVE's tests time sync_file); while it hangs the flushes after it fail at
// once and start no fsync beside it, and once it ends they work again.
TEST_F(PosixFiles, AStalledDiskFailsTheFlushesInTime) {
  const auto took = [](auto flush) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(flush());
    return std::chrono::steady_clock::now() - start;
  };
  dir.write("old", "a\r\n");
  {
    const testing::stalled_disk stalled;
    EXPECT_GE(took([&] { return fs.flush_to_disk(dir.file("old")); }), flush_timeout);
    EXPECT_LT(took([&] { return fs.flush_to_disk(dir.file("old")); }), testing::at_once);
    EXPECT_EQ(stalled.fsyncs_begun(), 1);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds{100});  // for the flush's thread to end
  EXPECT_TRUE(fs.flush_to_disk(dir.file("old")));
}

TEST_F(PosixFiles, OperationsOnHandlesNotOpenFail) {
  std::string line = "kept";
  EXPECT_FALSE(fs.read_line(1, line));
  EXPECT_FALSE(fs.write_line(1, "x"));
  EXPECT_FALSE(fs.file_length(1));
  EXPECT_FALSE(fs.sync_file(1));
  EXPECT_FALSE(fs.close_file(1));
  EXPECT_FALSE(fs.read_line(no_handle, line));
  EXPECT_FALSE(fs.open_text(no_handle, dir.file("x"), open_mode::output));
  EXPECT_EQ(line, "kept");
}

TEST_F(PosixFiles, HandlesAreReusedAndAllClosedAtOnce) {
  const file_handle first = fs.free_handle();
  ASSERT_TRUE(fs.open_text(first, dir.file("a"), open_mode::output));
  const file_handle second = fs.free_handle();
  EXPECT_NE(first, second);
  ASSERT_TRUE(fs.open_text(second, dir.file("b"), open_mode::output));
  EXPECT_FALSE(fs.open_text(first, dir.file("c"), open_mode::output));  // in use
  fs.close_all_files();
  EXPECT_EQ(fs.open_count(), 0u);
  EXPECT_EQ(fs.free_handle(), first);
}

TEST_F(PosixFiles, RunsOutOfHandlesWithoutHarm) {
  for (int i = 0; i < 255; ++i) {
    ASSERT_TRUE(fs.open_text(fs.free_handle(), dir.file("many"), open_mode::append)) << i;
  }
  EXPECT_EQ(fs.free_handle(), no_handle);
  fs.close_all_files();
  EXPECT_NE(fs.free_handle(), no_handle);
}

TEST_F(PosixFiles, OnlyOrdinaryFilesExist) {
  dir.write("file", "");
  dir.make_folder("folder");
  EXPECT_TRUE(fs.file_exists(dir.file("file")));
  EXPECT_FALSE(fs.file_exists(dir.file("folder")));
  EXPECT_FALSE(fs.file_exists(dir.file("missing")));
  EXPECT_FALSE(fs.file_exists(dir.file("missing/below")));
  EXPECT_FALSE(fs.file_exists(dir.file("file/below")));  // a file where a folder should be
  EXPECT_FALSE(fs.file_exists(dir.path() + "/" + std::string(5000, 'n')));
  EXPECT_FALSE(fs.file_exists(""));
  // A NUL would cut the name short and name the folder itself.
  EXPECT_FALSE(fs.file_exists(dir.file("file") + std::string("\0x", 2)));
}

TEST_F(PosixFiles, DeletesFilesButNotFoldersOrWhatIsMissing) {
  dir.write("file", "");
  dir.make_folder("folder");
  EXPECT_TRUE(fs.delete_file(dir.file("file")));
  EXPECT_FALSE(dir.exists("file"));
  EXPECT_FALSE(fs.delete_file(dir.file("file")));
  EXPECT_FALSE(fs.delete_file(dir.file("folder")));
  EXPECT_TRUE(dir.exists("folder"));
}

TEST_F(PosixFiles, OpensNoFolderAndNoFileInAMissingFolder) {
  dir.make_folder("folder");
  const file_handle handle = fs.free_handle();
  EXPECT_FALSE(fs.open_text(handle, dir.file("folder"), open_mode::input));
  EXPECT_FALSE(fs.open_text(handle, dir.file("folder"), open_mode::append));
  EXPECT_FALSE(fs.open_text(handle, dir.file("missing/x"), open_mode::output));
  EXPECT_FALSE(fs.open_text(handle, dir.file("missing"), open_mode::input));
  EXPECT_EQ(fs.open_count(), 0u);
}

// A pipe where the log should be would hold the watchdog until somebody reads
// it, and a device would swallow or refuse what is written: neither is opened.
TEST_F(PosixFiles, OpensNoPipeAndNoDevice) {
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0644), 0);
  std::filesystem::create_symlink("/dev/null", dir.file("device"));
  const file_handle handle = fs.free_handle();
  for (const open_mode mode : {open_mode::input, open_mode::output, open_mode::append}) {
    EXPECT_FALSE(fs.open_text(handle, dir.file("pipe"), mode));
    EXPECT_FALSE(fs.open_text(handle, dir.file("device"), mode));
  }
  // Nor is either brought onto the disk before a restart, nor waited on.
  EXPECT_FALSE(fs.flush_to_disk(dir.file("pipe")));
  EXPECT_FALSE(fs.flush_to_disk(dir.file("device")));
  EXPECT_EQ(fs.open_count(), 0u);
  EXPECT_FALSE(fs.file_exists(dir.file("pipe")));
}

// The draft is made private, then given the permissions the administrator gave
// the old file, which the new one keeps.
TEST_F(PosixFiles, ReplacesAFileInOneStep) {
  dir.write("old", "old\r\n");
  ASSERT_EQ(::chmod(dir.file("old").c_str(), 0640), 0);
  const file_handle handle = fs.free_handle();
  const std::optional<std::string> draft = fs.open_draft(handle, dir.file("old"));
  ASSERT_TRUE(draft);
  ASSERT_TRUE(fs.write_line(handle, "new"));
  ASSERT_TRUE(fs.close_file(handle));
  EXPECT_TRUE(fs.replace_file(*draft, dir.file("old")));
  EXPECT_EQ(dir.read("old"), "new\r\n");
  struct stat info {};
  ASSERT_EQ(::stat(dir.file("old").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_FALSE(std::filesystem::exists(*draft));
  EXPECT_FALSE(fs.replace_file(*draft, dir.file("old")));
  // The file's lines, and then its folder's entry: without that, a power cut
  // brings the old file back.
  synced.clear();
  counting_syncs = true;
  EXPECT_TRUE(fs.flush_to_disk(dir.file("old")));
  counting_syncs = false;
  EXPECT_EQ(synced, (std::vector<ino_t>{inode_of(dir.file("old")), inode_of(dir.path())}));
  EXPECT_FALSE(fs.flush_to_disk(*draft));
}

// The kernel giving no randomness (a filter that denies the call, or its pool
// not ready yet just after the machine started) keeps no save from its draft.
TEST_F(PosixFiles, MakesDraftsWhereTheKernelGivesNoRandomness) {
  dir.write("old", "");
  for (const int error : {EAGAIN, ENOSYS}) {
    getrandom_error = error;
    const std::optional<std::string> first = fs.open_draft(1, dir.file("old"));
    const std::optional<std::string> second = fs.open_draft(2, dir.file("old"));
    getrandom_error = 0;
    ASSERT_TRUE(first && second) << error;
    EXPECT_NE(*first, *second);
    EXPECT_TRUE(is_draft_of(*first, dir.file("old"))) << *first;
    fs.close_all_files();
  }
}

// The watchdog's user for a while, as a test running as root cannot be otherwise.
class acting_as {
 public:
  explicit acting_as(uid_t user) { EXPECT_EQ(::seteuid(user), 0); }
  ~acting_as() { EXPECT_EQ(::seteuid(0), 0); }
  acting_as(const acting_as&) = delete;
  acting_as& operator=(const acting_as&) = delete;
};

struct link_case {
  const char* name;
  mode_t folder_mode;
  uid_t link_owner;
  uid_t watchdog_user;
  bool followed;
};

// In a folder others may write in, anyone could point the log at a file the
// watchdog may write, which it would append to and, at the cap, empty. There a
// link, in a folder on the way too, is followed only when this user, the
// folder's owner or root made it, and the administrator hears once of one that
// is not; in a folder only its owner may write, the owner's word goes.
TEST_F(PosixFiles, FollowsOnlyLinksThatThisUserTheFoldersOwnerOrRootMade) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
  constexpr uid_t folder_owner = 65534, stranger = 65533, watchdog = 65532;
  const link_case cases[] = {
      {"root's, in a folder only its owner may write", 0755, 0, watchdog, true},
      {"root's, in a shared folder", 01777, 0, watchdog, true},
      {"a stranger's, in a folder only its owner may write", 0755, stranger, 0, true},
      {"a stranger's, in a folder its group may write", 0775, stranger, 0, false},
      {"a stranger's, in a shared folder", 0777, stranger, 0, false},
      {"the folder owner's, in a shared folder", 0777, folder_owner, watchdog, true},
      {"this user's, in a shared folder", 0777, watchdog, watchdog, true},
  };
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  dir.write("target", "kept\r\n");
  std::filesystem::create_directory(dir.file("real"));
  dir.write("real/file", "");
  const auto link = [this](const char* name, const char* target, uid_t owner) {
    std::filesystem::create_symlink(target, dir.file(name));
    ASSERT_EQ(::lchown(dir.file(name).c_str(), owner, owner), 0);
  };
  const auto make_shared = [this](mode_t mode) {
    std::filesystem::remove_all(dir.file("f"));
    std::filesystem::create_directory(dir.file("f"));
    ASSERT_EQ(::chown(dir.file("f").c_str(), folder_owner, folder_owner), 0);
    ASSERT_EQ(::chmod(dir.file("f").c_str(), mode), 0);
  };
  // As the program reaches its files: from the folder its lock holds.
  const folder_lock lock{dir.path()};
  for (const link_case& c : cases) {
    SCOPED_TRACE(c.name);
    make_shared(c.folder_mode);
    link("f/file", "../target", c.link_owner);
    link("f/way", "../real", c.link_owner);  // a folder on the way
    testing::recording_journal journal;
    posix_files guarded{&journal, lock.descriptor()};
    const acting_as user{c.watchdog_user};
    const std::optional<std::string> refused;
    EXPECT_EQ(guarded.file_behind(dir.file("f/file")), c.followed ? dir.file("target") : refused);
    EXPECT_EQ(guarded.file_behind(dir.file("f/way/file")),
              c.followed ? dir.file("real/file") : refused);
    EXPECT_EQ(guarded.open_text(1, dir.file("f/file"), open_mode::input), c.followed);
    EXPECT_EQ(guarded.file_exists(dir.file("f/way/file")), c.followed);
    EXPECT_EQ(journal.warnings.size(), c.followed ? 0u : 2u);  // one for each name asked for
  }

  // A chain of allowed links is followed to its end; the file is written and
  // flushed, not a link. One refused link anywhere on the way stops the walk.
  testing::recording_journal journal;
  posix_files guarded{&journal, lock.descriptor()};
  make_shared(0777);
  link("f/first", "second", folder_owner);
  link("f/second", dir.file("target").c_str(), 0);
  link("f/foreign", "first", stranger);
  link("f/via", "foreign", 0);
  EXPECT_EQ(guarded.file_behind(dir.file("f/first")), dir.file("target"));
  ASSERT_TRUE(guarded.open_text(1, dir.file("f/first"), open_mode::append));
  ASSERT_TRUE(guarded.write_line(1, "own"));
  ASSERT_TRUE(guarded.close_file(1));
  EXPECT_TRUE(guarded.flush_to_disk(dir.file("f/first")));
  for (const open_mode mode : {open_mode::input, open_mode::output, open_mode::append}) {
    EXPECT_FALSE(guarded.open_text(1, dir.file("f/via"), mode));
  }
  EXPECT_FALSE(guarded.flush_to_disk(dir.file("f/via")));
  EXPECT_EQ(dir.read("target"), "kept\r\nown\r\n");
  EXPECT_EQ(journal.warnings.size(), 1u);

  // Mended, then refused again: told again.
  ASSERT_EQ(::lchown(dir.file("f/foreign").c_str(), folder_owner, folder_owner), 0);
  EXPECT_TRUE(guarded.flush_to_disk(dir.file("f/via")));
  ASSERT_EQ(::lchown(dir.file("f/foreign").c_str(), stranger, stranger), 0);
  EXPECT_FALSE(guarded.flush_to_disk(dir.file("f/via")));
  EXPECT_EQ(journal.warnings.size(), 2u);
}

struct deletable_case {
  const char* name;
  mode_t mode;
  uid_t owner;
  bool deletable;
};

// The heartbeat is deleted as the user the watchdog acts as: a companion folder
// it may read but not write is told of at once, not found out at the first beat.
TEST_F(PosixFiles, MayDeleteOnlyWhereThisUserMayWrite) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
  constexpr uid_t watchdog = 65532, other = 65534;
  const deletable_case cases[] = {
      {"its own", 0755, watchdog, true},
      {"another user's it may only read", 0755, other, false},
      {"another user's it may not read", 0700, other, false},
      {"another user's open to all", 0777, other, true},
      {"its own, made read-only", 0555, watchdog, false},
  };
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  for (const deletable_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir.file("companion"));
    std::filesystem::create_directory(dir.file("companion"));
    ASSERT_EQ(::chown(dir.file("companion").c_str(), c.owner, c.owner), 0);
    ASSERT_EQ(::chmod(dir.file("companion").c_str(), c.mode), 0);
    const acting_as user{watchdog};
    EXPECT_EQ(fs.may_delete_in(dir.file("companion")), c.deletable);
  }
}

TEST_F(PosixFiles, TheWorkingDirectoryIsTheScratchFolder) {
  EXPECT_EQ(fs.current_dir(), dir.path());
  // A folder beside it whose name begins with its name (/srv/kiosk-tv beside
  // /srv/kiosk) is no place inside it.
  const std::string beside = dir.path() + "-tv";
  std::filesystem::create_directory(beside);
  {
    std::ofstream{beside + "/telvnor.vkd"};
    const folder_lock lock{dir.path()};
    posix_files guarded{nullptr, lock.descriptor()};
    EXPECT_TRUE(guarded.file_exists(beside + "/telvnor.vkd"));
    EXPECT_TRUE(guarded.may_delete_in(beside));
    EXPECT_TRUE(guarded.delete_file(beside + "/telvnor.vkd"));
  }
  std::filesystem::remove_all(beside);
}

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
