#include "base/print_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace netrove {
namespace {

// Every character 100 twips wide, tab stops every 800 twips.
class FixedWidthMeasurer : public ITextMeasurer {
 public:
  PrintFontMetrics Metrics(const PrintFontSpec& font) const override {
    return {font.height, font.height / 4, 0};
  }
  int Advance(const PrintFontSpec&, std::string_view text, int startX) const override {
    int x = startX;
    for (const char c : text) x = c == '\t' ? (x / 800 + 1) * 800 : x + 100;
    return x;
  }
};

const PrintFontSpec kBody{240, false};
const TwipsRect kTenChars{0, 0, 1000, 100000};  // ten characters per line

struct Line {
  int y;
  std::vector<std::pair<int, std::string>> runs;  // x, text
};

std::vector<Line> Lines(const std::vector<DrawOp>& ops) {
  std::vector<Line> lines;
  for (const DrawOp& op : ops) {
    if (op.kind != DrawOp::Kind::Text) continue;
    if (lines.empty() || lines.back().y != op.y) lines.push_back({op.y, {}});
    lines.back().runs.emplace_back(op.x, op.text);
  }
  return lines;
}

std::vector<Line> Wrap(std::string_view text, const TwipsRect& rect = kTenChars) {
  const FixedWidthMeasurer measurer;
  std::vector<DrawOp> ops;
  std::size_t position = 0;
  EXPECT_FALSE(DrawWrappedLines(measurer, kBody, text, position, rect, 300, 300, ops));
  EXPECT_EQ(position, text.size());
  return Lines(ops);
}

using Runs = std::vector<std::pair<int, std::string>>;

TEST(DrawWrappedLines, JustifiesACutLineWithSeveralBreaksToTheFullWidth) {
  // Cut inside a word: the line keeps the text before the last character
  // that fits, the missing width goes to its two breaks.
  auto lines = Wrap("aaa bbb ccc ddd eee");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].runs, (Runs{{0, "aaa"}, {450, "bbb"}, {900, "c"}}));
  EXPECT_EQ(lines[1].runs, (Runs{{0, "cc ddd eee"}}));

  // Cut at a break: that break starts no line.
  lines = Wrap("aaaa bbbb ccccc");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].runs, (Runs{{0, "aaaa"}, {600, "bbbb"}}));
  EXPECT_EQ(lines[1].runs, (Runs{{0, "ccccc"}}));

  // 170 twips over three breaks: the first ones take a twip more.
  lines = Wrap("a b c dddddddd", {0, 0, 1070, 100000});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].runs, (Runs{{0, "a"}, {257, "b"}, {514, "c"}, {770, "ddd"}}));
}

TEST(DrawWrappedLines, LeftAlignsAndBreaksInsideALongWordWithAtMostOneBreak) {
  auto lines = Wrap("aaaa bbbbbbbbbbbb");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].runs, (Runs{{0, "aaaa bbbbb"}}));
  EXPECT_EQ(lines[1].runs, (Runs{{0, "bbbbbbb"}}));

  lines = Wrap(std::string(25, 'x'));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].runs, (Runs{{0, std::string(10, 'x')}}));
  EXPECT_EQ(lines[2].runs, (Runs{{0, std::string(5, 'x')}}));

  // Narrower than one character: still one character per line.
  lines = Wrap("abc", {0, 0, 50, 100000});
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].runs, (Runs{{0, "b"}}));
}

TEST(DrawWrappedLines, LineEndsEmptyLinesAndTabs) {
  auto lines = Wrap("abc\r\n\r\ndef\r\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].y, 300);
  EXPECT_EQ(lines[1].y, 900);  // one empty printed line between
  EXPECT_EQ(lines[1].runs, (Runs{{0, "def"}}));

  // A line that is full exactly at a break takes the break and the line end
  // after it, so no empty line is printed that the text does not have.
  lines = Wrap("aaaa bbbbb \r\nccc");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].y, 600);

  lines = Wrap("a\tb\tc", {0, 0, 3000, 100000});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].runs, (Runs{{0, "a"}, {800, "b"}, {1600, "c"}}));
}

TEST(DrawWrappedLines, StopsAboveTheBottomAndResumesThere) {
  const FixedWidthMeasurer measurer;
  const std::string text = "one\r\ntwo\r\nthree\r\nfour";
  std::vector<DrawOp> ops;
  std::size_t position = 0;
  // Bottoms 300 and 600 are above 900; 900 is not.
  EXPECT_TRUE(DrawWrappedLines(measurer, kBody, text, position, {0, 0, 1000, 900}, 300, 300, ops));
  EXPECT_EQ(Lines(ops).size(), 2u);
  EXPECT_EQ(text.substr(position), "three\r\nfour");
}

PrinterGeometry Sheet(double widthInches, double heightInches) {
  PrinterGeometry sheet;
  sheet.dpiX = sheet.dpiY = 600;
  sheet.physicalWidth = static_cast<int>(widthInches * 600);
  sheet.physicalHeight = static_cast<int>(heightInches * 600);
  sheet.printableWidth = sheet.physicalWidth - 200;
  sheet.printableHeight = sheet.physicalHeight - 200;
  sheet.printableOffsetY = 100;
  return sheet;
}

const PrinterGeometry kLetter = Sheet(8.5, 11);
const PrinterGeometry kA4 = Sheet(8.27, 11.69);

TEST(PageModel, SmallerFontsBelowEightAndAHalfInches) {
  const FixedWidthMeasurer measurer;
  const PageModel letter = BuildPageModel(kLetter, measurer);
  EXPECT_EQ(letter.body, (PrintFontSpec{240, false}));
  EXPECT_EQ(letter.header, (PrintFontSpec{240, true}));
  EXPECT_EQ(letter.footer, (PrintFontSpec{160, true}));
  const PageModel a4 = BuildPageModel(kA4, measurer);
  EXPECT_EQ(a4.body, (PrintFontSpec{160, false}));
  EXPECT_EQ(a4.header, (PrintFontSpec{160, true}));
  EXPECT_EQ(a4.footer, (PrintFontSpec{120, true}));

  // Twips from device units: 7% of the sheet as the left margin, the
  // printable area's offset as the top, one line kept free at the bottom.
  EXPECT_EQ(letter.lineHeight, 300);
  EXPECT_EQ(letter.pageWidth, (5100 - 200) * 24 / 10);
  EXPECT_EQ(letter.textRect.left, 357 * 24 / 10);
  EXPECT_EQ(letter.textRect.top, 240);
  EXPECT_EQ(letter.textRect.right, letter.pageWidth);
  EXPECT_EQ(letter.textRect.bottom, (6600 - 200) * 24 / 10 - 300);
}

std::vector<std::vector<DrawOp>> Pages(const std::string& text) {
  const FixedWidthMeasurer measurer;
  return LayoutPrintedPages(text, BuildPageModel(kLetter, measurer), measurer, "Ping",
                            "Netrove by Corvane Inc.");
}

std::vector<std::string> Texts(const std::vector<DrawOp>& ops) {
  std::vector<std::string> texts;
  for (const DrawOp& op : ops) texts.push_back(op.kind == DrawOp::Kind::Rule ? "<rule>" : op.text);
  return texts;
}

TEST(Pagination, EmptyRangeGivesOnePageWithHeaderAndFooter) {
  const auto pages = Pages("");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(Texts(pages[0]), (std::vector<std::string>{"Ping", "Page 1", "<rule>",
                                                       "Netrove by Corvane Inc.", "<rule>"}));
  const FixedWidthMeasurer measurer;
  const PageModel model = BuildPageModel(kLetter, measurer);
  const auto& ops = pages[0];
  const TwipsRect& rect = model.textRect;
  EXPECT_EQ(ops[0].x, rect.left);
  EXPECT_EQ(ops[0].y, rect.top + 270);  // 240-twip text centred in a 300-twip band
  EXPECT_EQ(ops[1].x, rect.right - 600);
  EXPECT_EQ(ops[2].y, rect.top + 300);
  EXPECT_EQ(ops[2].x, rect.left);
  EXPECT_EQ(ops[2].x2, rect.right);
  EXPECT_EQ(ops[3].x, rect.left + (rect.right - rect.left - 2300) / 2);
  EXPECT_EQ(ops[3].y, rect.bottom + 230);  // 160-twip text centred
  EXPECT_EQ(ops[3].font, model.footer);
  EXPECT_EQ(ops[4].y, rect.bottom);
}

TEST(Pagination, PrintsUntilTheTextIsUsedUp) {
  std::string text;
  for (int line = 0; line < 200; ++line) text += "line " + std::to_string(line) + "\r\n";
  const auto many = Pages(text);
  ASSERT_GE(many.size(), 2u);
  const auto perPage = Lines(many[0]).size() - 2;  // less the header and footer bands
  const FixedWidthMeasurer measurer;
  const PageModel model = BuildPageModel(kLetter, measurer);
  EXPECT_EQ(Lines(many[0])[1].y, model.textRect.top + 3 * model.lineHeight);
  for (std::size_t page = 0; page < many.size(); ++page) {
    const auto texts = Texts(many[page]);
    EXPECT_EQ(texts[1], "Page " + std::to_string(page + 1));
    EXPECT_EQ(texts[texts.size() - 2], "Netrove by Corvane Inc.");
  }

  // Exactly one page of lines, with or without the last line end.
  std::string onePage;
  for (std::size_t line = 0; line < perPage; ++line) onePage += "x\r\n";
  EXPECT_EQ(Pages(onePage).size(), 1u);
  EXPECT_EQ(Pages(onePage.substr(0, onePage.size() - 2)).size(), 1u);
  const auto two = Pages(onePage + "last");
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(Texts(two[1])[3], "last");
}

}  // namespace
}  // namespace netrove
