// The local file operations of the FTP window across two file systems (the
// test folder and /dev/shm), where a move is a copy and a delete.
#include "transfer/ftp_local_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "support/file_bytes.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;

TEST(FtpLocalFiles, AMoveToAnotherFileSystemCopiesWholeBeforeTheSourceGoes) {
  if (!fs::exists("/dev/shm")) GTEST_SKIP() << "no second file system at /dev/shm";
  test::ScopedHome home;
  std::string other = "/dev/shm/netrove-move-XXXXXX";
  ASSERT_NE(::mkdtemp(other.data()), nullptr);
  struct Cleanup {
    fs::path path;
    ~Cleanup() { fs::remove_all(path); }
  } cleanup{other};
  const fs::path source = home.path() / "tree";
  fs::create_directories(source / "inner");
  std::ofstream(source / "inner" / "a.bin", std::ios::binary) << std::string(200000, 'a');

  // A target folder that does not exist: nothing moves, nothing is lost.
  EXPECT_EQ(MoveLocal(source, fs::path(other) / "missing" / "tree", false), ENOENT);
  EXPECT_EQ(test::ReadFileBytes(source / "inner" / "a.bin").size(), 200000u);

  EXPECT_EQ(MoveLocal(source, fs::path(other) / "tree", false), 0);
  EXPECT_FALSE(fs::exists(source));
  EXPECT_EQ(test::ReadFileBytes(fs::path(other) / "tree" / "inner" / "a.bin"),
            std::string(200000, 'a'));

  // Not over an existing file unless told, and then whole.
  std::ofstream(home.path() / "b.txt") << "new";
  std::ofstream(fs::path(other) / "b.txt") << "old";
  EXPECT_EQ(MoveLocal(home.path() / "b.txt", fs::path(other) / "b.txt", false), EEXIST);
  EXPECT_EQ(test::ReadFileBytes(fs::path(other) / "b.txt"), "old");
  EXPECT_EQ(MoveLocal(home.path() / "b.txt", fs::path(other) / "b.txt", true), 0);
  EXPECT_EQ(test::ReadFileBytes(fs::path(other) / "b.txt"), "new");
  EXPECT_FALSE(fs::exists(home.path() / "b.txt"));
}

TEST(FtpLocalFiles, ListingPutsFoldersFirstAndSortsWithoutRegardToCase) {
  test::ScopedHome home;
  fs::create_directories(home.path() / "Zeta");
  fs::create_directories(home.path() / "alpha");
  std::ofstream(home.path() / "B.txt") << "b";
  std::ofstream(home.path() / "a.txt") << "a";
  int error = -1;
  std::vector<std::string> names;
  for (const LocalEntry& entry : ListLocalFolder(home.path(), error)) names.push_back(entry.name);
  EXPECT_EQ(error, 0);
  // The settings folder of the home counts as a folder too.
  std::erase_if(names, [](const std::string& name) {
    return name != "Zeta" && name != "alpha" && name != "B.txt" && name != "a.txt";
  });
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Zeta", "a.txt", "B.txt"}));
  EXPECT_FALSE(LocalFolderHasEntries(home.path() / "alpha"));
  EXPECT_TRUE(LocalFolderHasEntries(home.path()));
}

}  // namespace
}  // namespace netrove

namespace netrove {
namespace {

// A folder copied into its own subfolder would copy its copy until names
// grow too long; a folder beside it whose name merely starts the same is fine.
TEST(FtpLocalFiles, AFolderIsNeverCopiedIntoItself) {
  test::ScopedHome home;
  const std::filesystem::path folder = home.path() / "photos";
  std::filesystem::create_directories(folder / "2026");
  test::WriteFileBytes(folder / "a.jpg", "jpeg");
  EXPECT_EQ(CopyLocal(folder, folder / "2026" / "photos", false), EINVAL);
  EXPECT_EQ(CopyLocal(folder, folder, false), EINVAL);
  EXPECT_FALSE(std::filesystem::exists(folder / "2026" / "photos"));
  EXPECT_EQ(MoveLocal(folder, folder / "2026" / "photos", false), EINVAL);
  EXPECT_TRUE(std::filesystem::exists(folder / "a.jpg"));
  EXPECT_EQ(CopyLocal(folder, home.path() / "photos-copy", false), 0);
  EXPECT_EQ(test::ReadFileBytes(home.path() / "photos-copy" / "a.jpg"), "jpeg");
}

}  // namespace
}  // namespace netrove
