// Newsgroup state and the newsrc file: what is kept, what is rebuilt, and
// that the user's file survives damage, sharing and failures.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "news/news_server.h"
#include "support/file_bytes.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

TEST(Newsgroup, ExpandsMarksAndRebuildsOnlyWhatChanged) {
  CNewsgroup opened(":");
  opened.Expand();
  EXPECT_TRUE(opened.Read().Empty());
  for (long number : {9, 3, 5, 4}) opened.MarkRead(number);
  EXPECT_EQ(opened.Rebuild(), ": 3-5,9");

  // Expanded and left alone: the text stays exactly as the file had it.
  CNewsgroup untouched(": 1-3,2,7-5");
  untouched.Expand();
  EXPECT_EQ(untouched.ExpandedCount(), 6u);  // 7-5 is 5, 6 and 7
  EXPECT_EQ(untouched.Rebuild(), ": 1-3,2,7-5");

  // A trailing comma loses nothing; a line with an absurd number cannot be
  // read and is kept exactly as it was, whatever is marked meanwhile.
  CNewsgroup trailing("! 1,4,");
  trailing.Expand();
  EXPECT_EQ(trailing.Read().Count(), 2u);
  CNewsgroup absurd(": 5,99999999999999999999,7");
  absurd.Expand();
  EXPECT_EQ(absurd.Read().Count(), 0u);
  absurd.MarkRead(9);
  EXPECT_EQ(absurd.Rebuild(), ": 5,99999999999999999999,7");

  CNewsgroup huge(":");
  huge.CatchUp(1, 50'000'000);
  huge.MarkRead(50'000'002);
  EXPECT_EQ(huge.Read().Count(), 50'000'001u);
  EXPECT_EQ(huge.Read().Ranges().size(), 2u);
  EXPECT_EQ(huge.Rebuild(), ": 1-50000000,50000002");
  huge.SetSubscribed(false);
  EXPECT_EQ(huge.RangeText(), "! 1-50000000,50000002");
}

// Range lists as tin and slrn write them, each read and then article 5
// marked: no mark of the file is lost.
TEST(Newsgroup, ReadsEveryRangeListOtherReadersWrite) {
  const std::pair<const char*, const char*> cases[] = {
      {": ,2-4", ": 2-5"},
      {": 1-3, 7", ": 1-3,5,7"},
      {":  1 ,3", ": 1,3,5"},
      {": 4-2", ": 2-5"},
      {": 1-6,3-4", ": 1-6,3-4"},
      {"! 9-7,1", "! 1,5,7-9"},
      {": 1-2,,\t6", ": 1-2,5-6"},
      {": 1-x", ": 1-x"},
      {": 3-", ": 3-"},
      {":", ": 5"},
  };
  for (const auto& [line, written] : cases) {
    CNewsgroup group(line);
    group.Expand();
    group.MarkRead(5);
    EXPECT_EQ(group.Rebuild(), written) << line;
  }
}

TEST(Newsrc, KeepsEveryLineOfADamagedFileAndReportsOnce) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  CNewsServer server;
  server.newsrcPath = NewsrcPath("", "news.example");
  test::WriteFileBytes(server.newsrcPath,
                       "zeta: 1-4\r\nno marker here\r\nalpha!\r\nbad line\r\nmid: 7");
  LoadNewsrc(server, reporter);
  ASSERT_EQ(reporter.Texts().size(), 1u);
  EXPECT_EQ(reporter.Texts()[0], CorruptedFileText(server.newsrcPath));
  // The group list adds new groups unsubscribed and leaves known ones.
  AddGroupsFromList(server, "zeta 10 1 y\r\nbeta 5 2 y\r\n");
  ASSERT_TRUE(WriteNewsrc(server, reporter));
  EXPECT_EQ(test::ReadFileBytes(server.newsrcPath),
            "alpha!\r\nbeta!\r\nmid: 7\r\nzeta: 1-4\r\nno marker here\r\nbad line\r\n");
}

TEST(Newsrc, AFileThatCannotBeReadIsNeverOverwritten) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  CNewsServer server;
  server.newsrcPath = NewsrcPath("", "host");
  std::filesystem::create_directories(server.newsrcPath);  // a folder where the file should be
  LoadNewsrc(server, reporter);
  ASSERT_EQ(reporter.Messages().size(), 1u);
  EXPECT_EQ(reporter.Messages()[0].source, kSourceSystemMessage);
  AddDefaultGroups(server);
  EXPECT_FALSE(WriteNewsrc(server, reporter));
  EXPECT_TRUE(std::filesystem::is_directory(server.newsrcPath));

  // A write that fails leaves the old file as it was.
  CNewsServer other;
  other.newsrcPath = NewsrcPath("", "other");
  test::WriteFileBytes(other.newsrcPath, "kept:\r\n");
  chmod(other.newsrcPath.parent_path().c_str(), 0500);
  other.groups.try_emplace("new.group");
  const bool wrote = WriteNewsrc(other, reporter);
  chmod(other.newsrcPath.parent_path().c_str(), 0700);
  if (geteuid() != 0) {
    EXPECT_FALSE(wrote);
    EXPECT_EQ(test::ReadFileBytes(other.newsrcPath), "kept:\r\n");
  }
}

TEST(Newsrc, NamesNeverLeaveTheNewsFolder) {
  EXPECT_EQ(SafePathComponent(".."), "%2E.");
  EXPECT_EQ(SafePathComponent("a/b\\c"), "a%2Fb%5Cc");
  EXPECT_EQ(SafePathComponent(".hidden\x01"), "%2Ehidden%01");
  EXPECT_EQ(SafePathComponent("news.example.com"), "news.example.com");
  EXPECT_EQ(SafePathComponent(""), "%");
  // Port 119 keeps the folder it always had; another port has its own.
  EXPECT_EQ(NewsServerName("news.example", 119), "news.example");
  EXPECT_EQ(NewsServerName("news.example", 1119), "news.example+1119");
  test::ScopedHome home;
  const auto path = NewsrcPath("", "../../etc");
  EXPECT_EQ(path.parent_path().parent_path().filename(), "News");
}

TEST(NewsServerTable, TwoWindowsShareOneEntryAndTheLastWrites) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  CNewsServerTable table;
  const auto path = NewsrcPath("", "shared");
  test::WriteFileBytes(path, "local.test: 1-2\r\n");
  table.Join("shared", 1, path, reporter);
  table.Join("shared", 2, path, reporter);
  table.With("shared", [](CNewsServer* server) {
    ASSERT_NE(server, nullptr);
    CNewsgroup& group = server->groups.at("local.test");
    group.Expand();
    group.MarkRead(5);
  });
  // A window that is not in the entry (a failed connect) changes nothing.
  table.Leave("shared", 3, reporter);
  table.Leave("shared", 1, reporter);
  EXPECT_EQ(test::ReadFileBytes(path), "local.test: 1-2\r\n");
  table.Leave("shared", 2, reporter);
  EXPECT_EQ(test::ReadFileBytes(path), "local.test: 1-2,5\r\n");
  EXPECT_TRUE(table.With("shared", [](CNewsServer* server) { return server == nullptr; }));
  EXPECT_TRUE(reporter.Messages().empty());
}

// Another program (netrove-cli, tin) changed the file while a window held
// the server: writing merges, so both changes survive, and a save in the
// middle of the session keeps the marks it wrote.
TEST(NewsServerTable, WritingMergesWhatTheFileHoldsNow) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  CNewsServerTable table;
  const auto path = NewsrcPath("", "merged");
  test::WriteFileBytes(path, "a.group: 1-2\r\nb.group!\r\n");
  table.Join("merged", 1, path, reporter);
  table.With("merged", [](CNewsServer* server) {
    CNewsgroup& group = server->groups.at("a.group");
    group.Expand();
    group.MarkRead(7);
  });
  table.Save("merged", reporter);
  EXPECT_EQ(test::ReadFileBytes(path), "a.group: 1-2,7\r\nb.group!\r\n");
  EXPECT_TRUE(table.With("merged", [](CNewsServer* server) {
    return server->groups.at("a.group").Read().Contains(7);
  }));
  // Meanwhile a catch-up elsewhere, and a group the window never saw.
  test::WriteFileBytes(path, "a.group: 1-2,7\r\nb.group! 1-40\r\nc.group: 3\r\n");
  table.With("merged", [](CNewsServer* server) { server->groups.at("a.group").MarkRead(8); });
  table.Leave("merged", 1, reporter);
  EXPECT_EQ(test::ReadFileBytes(path), "a.group: 1-2,7-8\r\nb.group! 1-40\r\nc.group: 3\r\n");
  EXPECT_TRUE(reporter.Messages().empty());
}

}  // namespace
}  // namespace netrove
