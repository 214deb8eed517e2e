// The newsreader window's Qt-free parts: the pane arrangement of every
// layout and contents, threading and the numeric order of article numbers,
// rot13, and the files saved articles go to.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "news/article_save.h"
#include "news/article_threads.h"
#include "news/news_article.h"
#include "news/news_commands.h"
#include "news/pane_layout.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

using enum NewsPane;

TEST(PaneLayout, EveryLayoutAndContentsPlacesThePanes) {
  struct Expected {
    bool outerSideBySide, paneThreeFirst, innerSideBySide;
  };
  const std::map<std::uint32_t, Expected> layouts = {
      {1239, {true, true, false}},  {1240, {true, false, false}}, {1241, {false, true, true}},
      {1242, {false, false, true}}, {1243, {true, true, true}},   {1244, {false, true, false}}};
  const std::map<std::uint32_t, std::array<NewsPane, 3>> contents = {
      {1245, {Articles, Text, Groups}}, {1246, {Text, Articles, Groups}},
      {1247, {Groups, Text, Articles}}, {1248, {Text, Groups, Articles}},
      {1249, {Groups, Articles, Text}}, {1250, {Articles, Groups, Text}}};
  for (const auto& [layout, expected] : layouts) {
    for (const auto& [content, panes] : contents) {
      const PaneArrangement got = ArrangePanes(layout, content);
      SCOPED_TRACE(std::to_string(layout) + "/" + std::to_string(content));
      EXPECT_EQ(got.layout, layout);
      EXPECT_EQ(got.outerSideBySide, expected.outerSideBySide);
      EXPECT_EQ(got.paneThreeFirst, expected.paneThreeFirst);
      EXPECT_EQ(got.innerSideBySide, expected.innerSideBySide);
      EXPECT_EQ((std::array{got.first, got.second, got.third}), panes);
    }
  }
  // Unknown values: three rows, and A, G, T.
  const PaneArrangement unknown = ArrangePanes(7, 99);
  EXPECT_EQ(unknown.layout, 1244u);
  EXPECT_FALSE(unknown.outerSideBySide);
  EXPECT_FALSE(unknown.innerSideBySide);
  EXPECT_EQ((std::array{unknown.first, unknown.second, unknown.third}),
            (std::array{Articles, Groups, Text}));
}

// Without stored sizes, every layout starts with the article list's cell at
// two fifths of its splitter or more, and the cells fill each splitter.
TEST(PaneLayout, TheArticleListGetsAUsefulShareInEveryLayout) {
  constexpr int kWidth = 900;
  constexpr int kHeight = 560;
  constexpr int kHandle = 5;
  for (std::uint32_t layout = kFirstLayout; layout <= kLastLayout; ++layout) {
    for (std::uint32_t content = kFirstContents; content <= kLastContents; ++content) {
      SCOPED_TRACE(std::to_string(layout) + "/" + std::to_string(content));
      const PaneArrangement a = ArrangePanes(layout, content);
      const PaneSizes sizes = ShareOutPanes(a, {190, 90, 240}, kWidth, kHeight, kHandle);
      const int outerRoom = (a.outerSideBySide ? kWidth : kHeight) - kHandle;
      EXPECT_EQ(sizes.outerFirst + sizes.outerSecond, outerRoom);
      const int innerCell = a.paneThreeFirst ? sizes.outerSecond : sizes.outerFirst;
      const int innerRoom =
          (a.innerSideBySide == a.outerSideBySide ? innerCell
                                                  : (a.innerSideBySide ? kWidth : kHeight)) -
          kHandle;
      EXPECT_EQ(sizes.innerFirst + sizes.innerSecond, innerRoom);
      int articles = 0;
      int room = 0;
      if (a.third == Articles) {
        articles = a.paneThreeFirst ? sizes.outerFirst : sizes.outerSecond;
        room = outerRoom;
      } else {
        articles = a.first == Articles ? sizes.innerFirst : sizes.innerSecond;
        room = innerRoom;
      }
      EXPECT_GE(articles, room * 2 / 5);
      // Where the group list sits in a column, its columns fit.
      if (a.third == Groups && a.outerSideBySide) {
        EXPECT_GE(a.paneThreeFirst ? sizes.outerFirst : sizes.outerSecond, 240);
      }
    }
  }
  // Where the article list is not squeezed, the preferred sizes stay, or
  // what the group list's columns need beside the other two.
  const PaneArrangement usual = ArrangePanes(1239, 1245);
  EXPECT_EQ(ShareOutPanes(usual, {190, 90, 0}, kWidth, kHeight, kHandle).outerFirst, 190);
  EXPECT_EQ(ShareOutPanes(usual, {190, 90, 240}, kWidth, kHeight, kHandle).outerFirst, 240);
  // Very long names: the article list keeps its share all the same.
  EXPECT_EQ(ShareOutPanes(usual, {190, 90, 2000}, kWidth, kHeight, kHandle).outerSecond,
            (kWidth - kHandle) * 2 / 5);
  // In 1241 the article list was 90 pixels wide.
  const PaneSizes top =
      ShareOutPanes(ArrangePanes(1241, 1245), {190, 90, 240}, kWidth, kHeight, kHandle);
  EXPECT_EQ(top.outerFirst, 190);
  EXPECT_EQ(top.innerFirst, (kWidth - kHandle) * 2 / 5);
}

std::string Headers(const std::string& id, const std::string& references,
                    const std::string& subject) {
  std::string block = "Subject: " + subject + "\r\nFrom: a@b.test\r\nMessage-ID: " + id + "\r\n";
  if (!references.empty()) block += "References: " + references + "\r\n";
  return block + "Xref: host local.test:1 other.group:17\r\n";
}

TEST(ArticleThreads, FilesRepliesUnderTheirRootAndOrdersNumbersNumerically) {
  ArticleTable table;
  EXPECT_TRUE(FileHeaderBlock(table, Headers("<a@x>", "", "Root"), 998).added);
  EXPECT_TRUE(FileHeaderBlock(table, Headers("<b@x>", "<a@x>", "Re: Root"), 1000).added);
  // A reply whose root was never fetched keeps it as a placeholder.
  EXPECT_TRUE(FileHeaderBlock(table, Headers("<d@x>", "<gone@x> <c@x>", "Re: lost"), 999).added);
  EXPECT_FALSE(FileHeaderBlock(table, Headers("<a@x>", "", "Root"), 998).added);

  const std::vector<ArticleThread> threads = BuildThreads(table);
  ASSERT_EQ(threads.size(), 2u);
  ASSERT_EQ(threads[0].rows.size(), 2u);
  EXPECT_EQ(threads[0].rows[0].record->number, 998);  // the parent before its reply
  EXPECT_EQ(threads[0].rows[1].depth, 1);
  ASSERT_EQ(threads[1].rows.size(), 3u);
  EXPECT_EQ(threads[1].root, "<gone@x>");
  EXPECT_EQ(threads[1].rows[2].depth, 2);
  EXPECT_EQ(ThreadIndexOf(threads, "<d@x>"), 1u);

  EXPECT_EQ(LowestNumber(table), 998);
  EXPECT_EQ(HighestNumber(table), 1000);
  std::vector<long> flat;
  for (const ArticleRecord* record : FlatOrder(table)) flat.push_back(record->number);
  EXPECT_EQ(flat, (std::vector<long>{1000, 999, 998}));
  ASSERT_NE(FindNumber(table, 999), nullptr);
  EXPECT_EQ(FollowUpReferences(*FindNumber(table, 999)), "<gone@x> <c@x> <d@x>");
}

TEST(ArticleThreads, XrefSubjectAndOwnArticle) {
  EXPECT_EQ(XrefEntries("news.host local.test:12 comp.x:7 bad junk: :4 n:-2"),
            (std::vector<std::pair<std::string, long>>{{"local.test", 12}, {"comp.x", 7}}));
  EXPECT_EQ(FollowUpSubject("re: already"), "re: already");
  EXPECT_EQ(FollowUpSubject("Question"), "Re: Question");
  EXPECT_TRUE(IsOwnArticle("ME@X.TEST (My Name)", "me@x.test", "My Name"));
  EXPECT_TRUE(IsOwnArticle("My Name <me@x.test>", "me@x.test", "My Name"));
  EXPECT_FALSE(IsOwnArticle("me@x.test", "me@x.test", "My Name"));
}

TEST(ArticleText, Rot13OnBodyOrSelectionAndBackAgain) {
  std::string text = "Subject: abc\r\n\r\nabc NOP 123, xyz!";
  const TextRange body = Rot13Range(text, true, 0, 0);
  Rot13(text, body.begin, body.end);
  EXPECT_EQ(text, "Subject: abc\r\n\r\nnop ABC 123, klm!");
  Rot13(text, body.begin, body.end);
  EXPECT_EQ(text, "Subject: abc\r\n\r\nabc NOP 123, xyz!");
  // A selection reaching into the header changes nothing; without a header
  // the selection is taken as it is.
  EXPECT_EQ(Rot13Range(text, true, 2, 20).begin, Rot13Range(text, true, 2, 20).end);
  const TextRange selected = Rot13Range("abcdef", false, 1, 3);
  EXPECT_EQ(selected.begin, 1u);
  EXPECT_EQ(selected.end, 3u);
  // A whole article without an empty line is all body.
  EXPECT_EQ(BodyStart("no blank line", true), 0u);
}

TEST(ArticleSave, GroupAndChildGroupBothSaveAndArticlesAppend) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  const std::filesystem::path folder = home.path() / "saved";
  const auto parent = SavedArticlePath(folder.string(), "news.test", "comp.lang.c");
  const auto child = SavedArticlePath(folder.string(), "news.test", "comp.lang.c.moderated");
  EXPECT_EQ(parent, folder / "news.test" / "comp" / "lang" / "c.txt");
  EXPECT_EQ(child, folder / "news.test" / "comp" / "lang" / "c" / "moderated.txt");
  ASSERT_TRUE(SaveArticle(parent, "first\r\n", reporter));
  ASSERT_TRUE(SaveArticle(child, "child\r\n", reporter));
  ASSERT_TRUE(SaveArticle(parent, "second\r\n", reporter));
  std::ifstream file(parent, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_EQ(content.str(), "first\r\n\r\n\r\nsecond\r\n\r\n\r\n");

  // A name from the server cannot climb out of the folder, and a group
  // without dots is a file right under the server's folder.
  EXPECT_EQ(SavedArticlePath(folder.string(), "..", ".."), folder / "%2E." / "%" / "%" / "%.txt");
  EXPECT_EQ(SavedArticlePath("", "s", "misc").parent_path().filename(), "s");

  // Something in the way is named, and nothing is written.
  std::filesystem::create_directories(folder / "blocked" / "x.txt");
  EXPECT_FALSE(SaveArticle(folder / "blocked" / "x.txt", "text", reporter));
  ASSERT_FALSE(reporter.Texts().empty());
  EXPECT_NE(reporter.Texts().back().find("is in the way"), std::string::npos);
}

}  // namespace
}  // namespace netrove

namespace netrove {
namespace {

// Every command sits in exactly one menu, once, and every submenu named
// exists: a command left out of the table would never reach the window.
TEST(NewsCommands, EveryCommandSitsInOneMenuOnce) {
  std::vector<int> seen(kNewsCommandCount, 0);
  std::vector<NewsMenu> pending(std::begin(kNewsMenuBar), std::end(kNewsMenuBar));
  while (!pending.empty()) {
    const NewsMenu menu = pending.back();
    pending.pop_back();
    EXPECT_FALSE(NewsMenuTitle(menu).empty());
    for (const NewsMenuEntry& entry : NewsMenuEntries(menu)) {
      if (entry.kind == NewsMenuEntry::Kind::Submenu) pending.push_back(entry.submenu);
      if (entry.kind != NewsMenuEntry::Kind::Command) continue;
      ++seen[static_cast<std::size_t>(entry.command)];
      EXPECT_FALSE(entry.prompt.empty()) << entry.label;
    }
  }
  EXPECT_EQ(seen, std::vector<int>(kNewsCommandCount, 1));
}

}  // namespace
}  // namespace netrove
