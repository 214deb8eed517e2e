#include "base/print_layout.h"

#include <algorithm>
#include <utility>

#include "base/transcript_text.h"

namespace netrove {
namespace {

constexpr char kBreakChar = ' ';
// Runs longer than this are measured in pieces, so that a line is never
// measured much beyond the page's width (a text without any break would
// otherwise be measured to its end for every printed line).
constexpr std::size_t kMeasureChunk = 64;

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

std::size_t CharEnd(std::string_view text, std::size_t index) {
  return index + DecodeTranscriptChar(text, index).length;
}

// Steps over one line end: CR LF, a lone CR or a lone LF.
std::size_t SkipLineEnd(std::string_view text, std::size_t index) {
  if (index < text.size() && text[index] == '\r') ++index;
  if (index < text.size() && text[index] == '\n') ++index;
  return index;
}

std::size_t NextStop(std::string_view text, std::size_t from) {
  while (from < text.size() && text[from] != kBreakChar && !IsLineEnd(text[from])) ++from;
  return from;
}

class CLineBreaker {
 public:
  CLineBreaker(const ITextMeasurer& measurer, const PrintFontSpec& font, std::string_view text,
               const TwipsRect& rect)
      : measurer_(measurer),
        font_(font),
        text_(text),
        rect_(rect),
        width_(rect.right - rect.left) {}

  // Breaks and draws the line starting at `position`, which moves to the
  // start of the next line. Returns whether text remains.
  bool DrawLine(std::size_t& position, int bottom, std::vector<DrawOp>& ops) const;

 private:
  // Whether the text drawn from x stays within the width; if so, x moves
  // past it.
  bool Fits(std::string_view piece, int& x) const;
  bool RunFits(std::size_t from, std::size_t to, int& x) const;
  std::size_t LastFittingChar(std::size_t lineStart, std::size_t stop) const;
  void DrawRuns(std::size_t from, std::size_t to, bool justify, int bottom,
                std::vector<DrawOp>& ops) const;
  void Emit(std::string_view run, int x, int bottom, std::vector<DrawOp>& ops) const;

  const ITextMeasurer& measurer_;
  const PrintFontSpec& font_;
  std::string_view text_;
  const TwipsRect& rect_;
  int width_;
};

bool CLineBreaker::Fits(std::string_view piece, int& x) const {
  const int after = measurer_.Advance(font_, piece, x);
  if (after > width_) return false;
  x = after;
  return true;
}

bool CLineBreaker::RunFits(std::size_t from, std::size_t to, int& x) const {
  while (to - from > kMeasureChunk) {
    std::size_t cut = from + kMeasureChunk;
    while (cut < to && (static_cast<unsigned char>(text_[cut]) & 0xC0) == 0x80) ++cut;
    if (!Fits(text_.substr(from, cut - from), x)) return false;
    from = cut;
  }
  return Fits(text_.substr(from, to - from), x);
}

// The start of the last character that still fits when the line is drawn
// from lineStart through it; lineStart itself when not even the first one
// fits (a line always takes at least one character). The search ends at
// the stop where the line was found too wide.
std::size_t CLineBreaker::LastFittingChar(std::size_t lineStart, std::size_t stop) const {
  std::size_t last = lineStart;
  int x = 0;
  for (std::size_t index = lineStart; index < stop;) {
    const std::size_t next = CharEnd(text_, index);
    if (!Fits(text_.substr(index, next - index), x)) break;
    last = index;
    index = next;
  }
  return last;
}

bool CLineBreaker::DrawLine(std::size_t& position, int bottom, std::vector<DrawOp>& ops) const {
  const std::size_t start = position;
  int x = 0;
  std::size_t stop = NextStop(text_, start);
  bool overflow = !RunFits(start, stop, x);
  // Fill the line word by word while the text fits and the width is not
  // reached at a break.
  while (!overflow && stop < text_.size() && text_[stop] == kBreakChar && x < width_) {
    const std::size_t runStart = stop;
    stop = NextStop(text_, stop + 1);
    overflow = !RunFits(runStart, stop, x);
  }
  if (overflow) {
    // Cut back character by character to the last one that fits.
    const std::size_t cut = LastFittingChar(start, stop);
    const auto breaks = std::count(text_.begin() + start, text_.begin() + cut + 1, kBreakChar);
    std::size_t next;
    if (breaks > 1) {
      DrawRuns(start, cut, true, bottom, ops);
      // The break the line was cut at does not begin the next line.
      next = text_[cut] == kBreakChar ? cut + 1 : cut;
    } else {
      next = CharEnd(text_, cut);
      DrawRuns(start, next, false, bottom, ops);
    }
    position = next;
    return position < text_.size();
  }
  if (x == 0 && stop < text_.size() && IsLineEnd(text_[stop])) {
    // An empty line of the text: one empty printed line.
    position = SkipLineEnd(text_, stop);
    return position < text_.size();
  }
  DrawRuns(start, stop, false, bottom, ops);
  if (stop < text_.size() && text_[stop] == kBreakChar) {
    // The line is full exactly up to a break: the break and a line end
    // right after it belong to this line.
    ++stop;
  }
  position = SkipLineEnd(text_, stop);
  return position < text_.size();
}

// Draws text_[from, to) at the left edge as runs without tabs. Justified,
// the width missing to the right edge is spread over the breaks between
// words, the first ones taking one twip more when it does not divide.
void CLineBreaker::DrawRuns(std::size_t from, std::size_t to, bool justify, int bottom,
                            std::vector<DrawOp>& ops) const {
  std::string_view line = text_.substr(from, to - from);
  int extra = 0;
  int gaps = 0;
  if (justify) {
    const std::size_t lastWord = line.find_last_not_of(kBreakChar);
    line = line.substr(0, lastWord == std::string_view::npos ? 0 : lastWord + 1);
    gaps = static_cast<int>(std::count(line.begin(), line.end(), kBreakChar));
    extra = width_ - measurer_.Advance(font_, line, 0);
    if (gaps == 0 || extra <= 0) justify = false;
  }
  int x = 0;
  int gapsSeen = 0;
  std::size_t runStart = 0;
  for (std::size_t index = 0; index < line.size(); ++index) {
    const char c = line[index];
    if (c != '\t' && !(justify && c == kBreakChar)) continue;
    const std::string_view run = line.substr(runStart, index - runStart);
    Emit(run, x, bottom, ops);
    x = measurer_.Advance(font_, line.substr(runStart, index + 1 - runStart), x);
    if (c == kBreakChar) x += extra / gaps + (gapsSeen++ < extra % gaps ? 1 : 0);
    runStart = index + 1;
  }
  Emit(line.substr(runStart), x, bottom, ops);
}

void CLineBreaker::Emit(std::string_view run, int x, int bottom, std::vector<DrawOp>& ops) const {
  if (run.empty()) return;
  DrawOp op;
  op.font = font_;
  op.x = rect_.left + x;
  op.y = bottom;
  op.text = std::string(run);
  ops.push_back(std::move(op));
}

int ToTwips(double deviceUnits, double dpi) {
  return static_cast<int>(deviceUnits * kTwipsPerInch / (dpi > 0 ? dpi : kTwipsPerInch));
}

DrawOp Rule(int left, int right, int y) {
  DrawOp op;
  op.kind = DrawOp::Kind::Rule;
  op.x = left;
  op.x2 = right;
  op.y = y;
  return op;
}

}  // namespace

bool UsesSmallPrintFonts(const PrinterGeometry& printer) {
  if (printer.dpiX <= 0) return false;
  return printer.physicalWidth / printer.dpiX < 8.5;
}

PageModel BuildPageModel(const PrinterGeometry& printer, const ITextMeasurer& measurer) {
  const bool small = UsesSmallPrintFonts(printer);
  PageModel model;
  model.body = {small ? 160 : 240, false};
  model.header = {model.body.height, true};
  model.footer = {small ? 120 : 160, true};
  const PrintFontMetrics metrics = measurer.Metrics(model.header);
  model.lineHeight = std::max(1, metrics.height + metrics.descent + metrics.externalLeading);
  model.pageWidth = ToTwips(printer.printableWidth, printer.dpiX);
  const int leftMargin = static_cast<int>(printer.physicalWidth * 0.07);
  model.textRect.left = ToTwips(leftMargin, printer.dpiX);
  model.textRect.top = ToTwips(printer.printableOffsetY, printer.dpiY);
  model.textRect.right = model.pageWidth;
  model.textRect.bottom = ToTwips(printer.printableHeight, printer.dpiY) - model.lineHeight;
  return model;
}

bool DrawWrappedLines(const ITextMeasurer& measurer, const PrintFontSpec& font,
                      std::string_view text, std::size_t& position, const TwipsRect& rect,
                      int firstBottom, int lineStep, std::vector<DrawOp>& ops) {
  const CLineBreaker breaker(measurer, font, text, rect);
  lineStep = std::max(1, lineStep);
  for (int bottom = firstBottom;; bottom += lineStep) {
    if (!breaker.DrawLine(position, bottom, ops)) return false;
    if (bottom + lineStep >= rect.bottom) return true;
  }
}

CTranscriptPagination::CTranscriptPagination(std::string_view text, const PageModel& model,
                                             const ITextMeasurer& measurer, std::string headerTitle,
                                             std::string footerText)
    : text_(text),
      model_(model),
      measurer_(measurer),
      headerTitle_(std::move(headerTitle)),
      footerText_(std::move(footerText)) {}

std::vector<DrawOp> CTranscriptPagination::NextPage() {
  std::vector<DrawOp> ops;
  DrawHeader(++pagesDone_, ops);
  const TwipsRect& rect = model_.textRect;
  morePages_ = position_ < text_.size() &&
               DrawWrappedLines(measurer_, model_.body, text_, position_, rect,
                                rect.top + 3 * model_.lineHeight, model_.lineHeight, ops);
  DrawFooter(ops);
  return ops;
}

// A single line vertically centred in the band from bandTop down one line.
DrawOp CTranscriptPagination::BandText(const PrintFontSpec& font, std::string text, int x,
                                       int bandTop) const {
  const PrintFontMetrics metrics = measurer_.Metrics(font);
  DrawOp op;
  op.font = font;
  op.x = x;
  op.y = bandTop + (model_.lineHeight - metrics.height) / 2 + metrics.height;
  op.text = std::move(text);
  return op;
}

void CTranscriptPagination::DrawHeader(int pageNumber, std::vector<DrawOp>& ops) const {
  const TwipsRect& rect = model_.textRect;
  ops.push_back(BandText(model_.header, headerTitle_, rect.left, rect.top));
  std::string page = "Page " + std::to_string(pageNumber);
  const int pageX = rect.right - measurer_.Advance(model_.header, page, 0);
  ops.push_back(BandText(model_.header, std::move(page), pageX, rect.top));
  ops.push_back(Rule(rect.left, rect.right, rect.top + model_.lineHeight));
}

void CTranscriptPagination::DrawFooter(std::vector<DrawOp>& ops) const {
  const TwipsRect& rect = model_.textRect;
  const int width = measurer_.Advance(model_.footer, footerText_, 0);
  const int x = rect.left + (rect.right - rect.left - width) / 2;
  ops.push_back(BandText(model_.footer, footerText_, x, rect.bottom));
  ops.push_back(Rule(rect.left, rect.right, rect.bottom));
}

std::vector<std::vector<DrawOp>> LayoutPrintedPages(std::string_view text, const PageModel& model,
                                                    const ITextMeasurer& measurer,
                                                    const std::string& headerTitle,
                                                    const std::string& footerText) {
  CTranscriptPagination pagination(text, model, measurer, headerTitle, footerText);
  std::vector<std::vector<DrawOp>> pages;
  while (pagination.hasMorePages()) pages.push_back(pagination.NextPage());
  return pages;
}

}  // namespace netrove
