#pragma once
// The printer side of the page layout: text measured with the printer's
// fonts and draw operations painted with a QPainter working in twips.
#include <QFont>
#include <QString>
#include <memory>
#include <string_view>
#include <vector>

#include "base/print_layout.h"

class QPainter;
class QPaintDevice;
class QPrinter;

namespace netrove {

// Transcript bytes (UTF-8, other bytes as Latin-1) as a QString.
QString TranscriptToQString(std::string_view text);

// Measures with the "Arial" fonts of the print layout. Character widths are
// whole twips each, so widths add up exactly and the painted runs land where
// the layout put them (kerning is off for the same reason).
class CQtTextMeasurer : public ITextMeasurer {
 public:
  explicit CQtTextMeasurer(QPaintDevice* device);
  ~CQtTextMeasurer() override;

  PrintFontMetrics Metrics(const PrintFontSpec& font) const override;
  int Advance(const PrintFontSpec& font, std::string_view text, int startX) const override;
  QFont Font(const PrintFontSpec& font) const;

 private:
  struct FontData;
  FontData& Data(const PrintFontSpec& font) const;

  QPaintDevice* device_;
  mutable std::vector<std::unique_ptr<FontData>> fonts_;
};

// The printer's page in device units.
PrinterGeometry GeometryOf(const QPrinter& printer);

// Paints one page's operations; the painter's coordinates must be twips.
void PaintPage(QPainter& painter, const std::vector<DrawOp>& ops, const CQtTextMeasurer& measurer);

}  // namespace netrove
