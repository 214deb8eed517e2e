// Threading against generated groups whose true tree is known: folded and
// trimmed References, odd spacing, replies naming only their parent or only
// In-Reply-To, expired parents, and dates that disagree with the article
// numbers. Every article must sit under its true parent at its true depth.
#include "news/article_threads.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace netrove {
namespace {

struct TrueArticle {
  std::string id;
  int parent = -1;
  int depth = 0;
  bool expired = false;
};

std::string DateText(int minute) {
  char text[64];
  std::snprintf(text, sizeof text, "Thu, %02d Dec 2026 %02d:%02d:07 %s", 1 + minute / 1440,
                minute / 60 % 24, minute % 60, minute % 7 == 0 ? "GMT" : "+0000");
  return text;
}

// The ancestors' ids, oldest first.
std::vector<std::string> Chain(const std::vector<TrueArticle>& group, int at) {
  std::vector<std::string> chain;
  for (int up = group[static_cast<std::size_t>(at)].parent; up >= 0;
       up = group[static_cast<std::size_t>(up)].parent) {
    chain.insert(chain.begin(), group[static_cast<std::size_t>(up)].id);
  }
  return chain;
}

bool AncestorExpired(const std::vector<TrueArticle>& group, int at) {
  for (int up = group[static_cast<std::size_t>(at)].parent; up >= 0;
       up = group[static_cast<std::size_t>(up)].parent) {
    if (group[static_cast<std::size_t>(up)].expired) return true;
  }
  return false;
}

std::string Join(const std::vector<std::string>& ids, const std::string& between) {
  std::string text;
  for (const std::string& id : ids) text += (text.empty() ? "" : between) + id;
  return text;
}

// How a newsreader or a server may have written the article's ancestry.
std::string AncestryField(const std::vector<TrueArticle>& group, int at, unsigned variant) {
  const std::vector<std::string> chain = Chain(group, at);
  if (chain.empty()) return {};
  const bool complete = !AncestorExpired(group, at);
  switch (variant % 6) {
    case 1:
      return "References: " + Join(chain, "\r\n\t") + "\r\n";
    case 2:
      return "References: " + Join(chain, "  ") + "\r\n";
    case 3:
      if (complete && chain.size() > 4) {
        // Trimmed as servers do: the first id and the last three.
        return "References: " +
               Join({chain[0], chain[chain.size() - 3], chain[chain.size() - 2], chain.back()},
                    " ") +
               "\r\n";
      }
      break;
    case 4:
      if (complete) return "References: " + chain.back() + "\r\n";
      break;
    case 5:
      if (complete) return "In-Reply-To: " + chain.back() + "\r\n";
      break;
    default:
      break;
  }
  return "References: " + Join(chain, " ") + "\r\n";
}

TEST(Threading, GeneratedGroupsThreadWithNothingMisplaced) {
  std::mt19937 random(20261210);
  int misplaced = 0;
  int filed = 0;
  for (int number = 0; number < 20; ++number) {
    constexpr int kSize = 100;
    std::vector<TrueArticle> group;
    for (int at = 0; at < kSize; ++at) {
      TrueArticle article;
      article.id = "<g" + std::to_string(number) + "." + std::to_string(at) + "@gen.test>";
      article.parent = at == 0 || random() % 5 == 0 ? -1 : static_cast<int>(random() % at);
      article.depth =
          article.parent < 0 ? 0 : group[static_cast<std::size_t>(article.parent)].depth + 1;
      article.expired = at > 0 && random() % 12 == 0;
      group.push_back(article);
    }
    ArticleTable table;
    for (int at = 0; at < kSize; ++at) {
      const TrueArticle& article = group[static_cast<std::size_t>(at)];
      if (article.expired) continue;
      // Numbered against the dates: siblings must follow the dates.
      const std::string block = "Subject: s" + std::to_string(at) +
                                "\r\nMessage-ID: " + article.id + "\r\nDate: " + DateText(at * 3) +
                                "\r\n" + AncestryField(group, at, static_cast<unsigned>(random()));
      FileHeaderBlock(table, block, kSize - at);
      ++filed;
    }
    std::map<std::string, std::pair<std::string, int>> placed;
    for (const ArticleThread& thread : BuildThreads(table)) {
      for (const ThreadedArticle& row : thread.rows) placed[row.id] = {row.parent, row.depth};
    }
    for (const TrueArticle& article : group) {
      if (article.expired) continue;
      const std::string parent =
          article.parent < 0 ? "" : group[static_cast<std::size_t>(article.parent)].id;
      misplaced += placed[article.id] != std::make_pair(parent, article.depth);
    }
  }
  RecordProperty("misplaced", misplaced);
  EXPECT_GT(filed, 1700);  // about one in twelve expired
  EXPECT_EQ(misplaced, 0);
}

TEST(Threading, SiblingsFollowTheirDatesAndPlaceholdersKeepTheirPlace) {
  ArticleTable table;
  FileHeaderBlock(
      table, "Message-ID: <late@x>\r\nDate: 2 Dec 2026 10:00 +0000\r\nReferences: <gone@x>\r\n", 1);
  FileHeaderBlock(
      table,
      "Message-ID: <early@x>\r\nDate: Tue, 1 Dec 2026 23:00:00 -0500\r\nReferences: <gone@x>\r\n",
      2);
  FileHeaderBlock(
      table, "Message-ID: <own@x>\r\nDate: 3 Dec 2026 00:00 +0000\r\nReferences: <own@x>\r\n", 3);
  const auto threads = BuildThreads(table);
  ASSERT_EQ(threads.size(), 2u);
  ASSERT_EQ(threads[0].rows.size(), 3u);
  EXPECT_EQ(threads[0].rows[0].record, nullptr);  // the expired parent
  EXPECT_EQ(threads[0].rows[0].id, "<gone@x>");
  EXPECT_EQ(threads[0].rows[1].id, "<early@x>");  // 04:00 UTC on the 2nd
  EXPECT_EQ(threads[0].rows[2].id, "<late@x>");
  EXPECT_EQ(threads[1].rows[0].id, "<own@x>");  // naming itself makes no loop
  EXPECT_EQ(ParseArticleDate("Wed, 09 Dec 2026 23:50:37 +0000"), 1796860237);
  EXPECT_EQ(ParseArticleDate("9 Dec 26 23:50 GMT (comment)"), 1796860200);
  EXPECT_FALSE(ParseArticleDate("yesterday").has_value());
  EXPECT_EQ(MessageIds("<a@x><b@x>\t <c@x> <trimmed@"),
            (std::vector<std::string>{"<a@x>", "<b@x>", "<c@x>"}));
}

}  // namespace
}  // namespace netrove
