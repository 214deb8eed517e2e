#include "widgets/print_painter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "base/transcript_text.h"

namespace netrove {
namespace {

// Text is measured and drawn on the printer's tab stops: eight average
// character widths apart, from the left edge.
constexpr int kCharsPerTabStop = 8;

QFont MakePrintFont(const PrintFontSpec& wanted) {
  QFont font(QString::fromLatin1(kPrintFontFace.data(), kPrintFontFace.size()));
  font.setPixelSize(wanted.height);  // the painter works in twips
  font.setWeight(wanted.bold ? QFont::Bold : QFont::Normal);
  font.setKerning(false);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

}  // namespace

QString TranscriptToQString(std::string_view text) {
  std::u32string codePoints;
  codePoints.reserve(text.size());
  for (std::size_t index = 0; index < text.size();) {
    const DecodedChar decoded = DecodeTranscriptChar(text, index);
    codePoints += DisplayCodePoint(decoded.codePoint);
    index += decoded.length;
  }
  return QString::fromUcs4(codePoints.data(), static_cast<qsizetype>(codePoints.size()));
}

struct CQtTextMeasurer::FontData {
  FontData(const PrintFontSpec& wanted, QPaintDevice* device)
      : wanted(wanted),
        font(MakePrintFont(wanted)),
        metrics(font, device),
        tabStop(std::max(
            1, static_cast<int>(std::lround(metrics.averageCharWidth() * kCharsPerTabStop)))),
        basicWidths(0x10000, -1) {}

  int Width(char32_t codePoint) {
    if (codePoint < basicWidths.size()) {
      int& width = basicWidths[codePoint];
      if (width < 0) width = Measure(codePoint);
      return width;
    }
    const auto found = otherWidths.find(codePoint);
    if (found != otherWidths.end()) return found->second;
    return otherWidths[codePoint] = Measure(codePoint);
  }

  int Measure(char32_t codePoint) const {
    const QString character = QString::fromUcs4(&codePoint, 1);
    return static_cast<int>(std::lround(metrics.horizontalAdvance(character)));
  }

  PrintFontSpec wanted;
  QFont font;
  QFontMetricsF metrics;
  int tabStop;
  std::vector<int> basicWidths;  // by code point below U+10000, -1 until measured
  std::unordered_map<char32_t, int> otherWidths;
};

CQtTextMeasurer::CQtTextMeasurer(QPaintDevice* device) : device_(device) {}

CQtTextMeasurer::~CQtTextMeasurer() = default;

CQtTextMeasurer::FontData& CQtTextMeasurer::Data(const PrintFontSpec& font) const {
  for (const auto& data : fonts_) {
    if (data->wanted == font) return *data;
  }
  fonts_.push_back(std::make_unique<FontData>(font, device_));
  return *fonts_.back();
}

QFont CQtTextMeasurer::Font(const PrintFontSpec& font) const { return Data(font).font; }

PrintFontMetrics CQtTextMeasurer::Metrics(const PrintFontSpec& font) const {
  const QFontMetricsF& metrics = Data(font).metrics;
  const int ascent = static_cast<int>(std::lround(metrics.ascent()));
  const int descent = static_cast<int>(std::lround(metrics.descent()));
  return {ascent + descent, descent, static_cast<int>(std::lround(metrics.leading()))};
}

int CQtTextMeasurer::Advance(const PrintFontSpec& font, std::string_view text, int startX) const {
  FontData& data = Data(font);
  int x = startX;
  for (std::size_t index = 0; index < text.size();) {
    const DecodedChar decoded = DecodeTranscriptChar(text, index);
    index += decoded.length;
    if (decoded.codePoint == '\t') {
      x = (x / data.tabStop + 1) * data.tabStop;
    } else if (decoded.codePoint != '\r' && decoded.codePoint != '\n') {
      x += data.Width(DisplayCodePoint(decoded.codePoint));
    }
  }
  return x;
}

PrinterGeometry GeometryOf(const QPrinter& printer) {
  const QRect paper = printer.paperRect(QPrinter::DevicePixel).toRect();
  const QRect page = printer.pageRect(QPrinter::DevicePixel).toRect();
  PrinterGeometry geometry;
  geometry.dpiX = printer.logicalDpiX();
  geometry.dpiY = printer.logicalDpiY();
  geometry.physicalWidth = paper.width();
  geometry.physicalHeight = paper.height();
  geometry.printableWidth = page.width();
  geometry.printableHeight = page.height();
  geometry.printableOffsetY = page.top() - paper.top();
  return geometry;
}

void PaintPage(QPainter& painter, const std::vector<DrawOp>& ops, const CQtTextMeasurer& measurer) {
  painter.setPen(QPen(Qt::black, kRulePenWidth, Qt::SolidLine, Qt::FlatCap));
  for (const DrawOp& op : ops) {
    if (op.kind == DrawOp::Kind::Rule) {
      painter.drawLine(QPointF(op.x, op.y), QPointF(op.x2, op.y));
      continue;
    }
    painter.setFont(measurer.Font(op.font));
    const int baseline = op.y - measurer.Metrics(op.font).descent;
    painter.drawText(QPointF(op.x, baseline), TranscriptToQString(op.text));
  }
}

}  // namespace netrove
