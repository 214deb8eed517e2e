#pragma once
// Layout of a printed transcript: the page model in twips (1/1440 inch, y
// growing down from the top of the printable area), the fonts, the header
// ("title" and "Page n") and footer bands with their rules, and the body
// lines broken and justified by DrawWrappedLines. Text is measured through
// ITextMeasurer and pages come out as lists of draw operations, so the
// whole layout runs without a printer.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr std::string_view kPrintFontFace = "Arial";
inline constexpr int kRulePenWidth = 10;  // twips, solid black

struct PrintFontSpec {
  int height = 0;  // em height in twips
  bool bold = false;
  friend bool operator==(const PrintFontSpec&, const PrintFontSpec&) = default;
};

struct PrintFontMetrics {
  int height = 0;  // ascent + descent
  int descent = 0;
  int externalLeading = 0;
};

class ITextMeasurer {
 public:
  virtual ~ITextMeasurer() = default;
  virtual PrintFontMetrics Metrics(const PrintFontSpec& font) const = 0;
  // Where text drawn in the font from startX (twips right of the left edge)
  // ends. A tab advances to the next default tab stop, measured from the
  // left edge. Widths add up: Advance(a + b, x) == Advance(b, Advance(a, x)).
  virtual int Advance(const PrintFontSpec& font, std::string_view text, int startX) const = 0;
};

// What the printer reports, in device units.
struct PrinterGeometry {
  double dpiX = 0;
  double dpiY = 0;
  int physicalWidth = 0;  // the whole sheet
  int physicalHeight = 0;
  int printableWidth = 0;  // the area the printer can mark
  int printableHeight = 0;
  int printableOffsetY = 0;  // from the sheet's top to the printable area
};

struct TwipsRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct PageModel {
  PrintFontSpec body;
  PrintFontSpec header;
  PrintFontSpec footer;
  int lineHeight = 0;  // header font: height + descent + external leading
  int pageWidth = 0;   // printable width
  // Left margin, top margin, printable width; the bottom is raised by one
  // line height to keep the footer band free.
  TwipsRect textRect;
};

// Sheets narrower than 8.5 inches (A4) print with the smaller fonts.
bool UsesSmallPrintFonts(const PrinterGeometry& printer);
PageModel BuildPageModel(const PrinterGeometry& printer, const ITextMeasurer& measurer);

// One drawing step of a page. Text runs hold no tab or line end; they are
// placed by the left and bottom edges of their character cells.
struct DrawOp {
  enum class Kind { Text, Rule };
  Kind kind = Kind::Text;
  PrintFontSpec font;  // Text
  int x = 0;           // Text: left edge; Rule: start
  int y = 0;           // Text: bottom edge; Rule: the line's y
  int x2 = 0;          // Rule: end
  std::string text;    // Text: UTF-8 (Latin-1 bytes as in the transcript)
};

// Draws body lines from `position` onward within text (the end of the range
// is text.size()): the first line's bottom at firstBottom, each following
// one lineStep lower, while a line's bottom stays above rect.bottom (the
// first line is always drawn). Lines fill the width word by word, cut back
// character by character; a cut line with more than one break (space) is
// justified to the full width. Returns whether text remains; `position` is
// where the next page starts.
bool DrawWrappedLines(const ITextMeasurer& measurer, const PrintFontSpec& font,
                      std::string_view text, std::size_t& position, const TwipsRect& rect,
                      int firstBottom, int lineStep, std::vector<DrawOp>& ops);

// Lays out a text page after page until it is used up. An empty text gives
// one page with header and footer.
class CTranscriptPagination {
 public:
  CTranscriptPagination(std::string_view text, const PageModel& model,
                        const ITextMeasurer& measurer, std::string headerTitle,
                        std::string footerText);

  bool hasMorePages() const { return morePages_; }
  int pagesDone() const { return pagesDone_; }
  // The draw operations of the next page (page numbers count from 1).
  std::vector<DrawOp> NextPage();

 private:
  void DrawHeader(int pageNumber, std::vector<DrawOp>& ops) const;
  void DrawFooter(std::vector<DrawOp>& ops) const;
  DrawOp BandText(const PrintFontSpec& font, std::string text, int x, int bandTop) const;

  std::string_view text_;
  PageModel model_;
  const ITextMeasurer& measurer_;
  std::string headerTitle_;
  std::string footerText_;
  std::size_t position_ = 0;
  bool morePages_ = true;
  int pagesDone_ = 0;
};

// All pages of a text at once.
std::vector<std::vector<DrawOp>> LayoutPrintedPages(std::string_view text, const PageModel& model,
                                                    const ITextMeasurer& measurer,
                                                    const std::string& headerTitle,
                                                    const std::string& footerText);

}  // namespace netrove
