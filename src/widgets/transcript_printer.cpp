#include "widgets/transcript_printer.h"

#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QWidget>
#include <memory>
#include <string>

#include "base/print_layout.h"
#include "base/product.h"
#include "widgets/message_boxes.h"
#include "widgets/print_painter.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

// The printer settings of one main window, kept as a hidden child of it so
// that every tool window of that main window prints with the same choice.
class CPrinterSettings : public QObject {
 public:
  explicit CPrinterSettings(QObject* owner) : QObject(owner) { setObjectName(Name()); }
  static QString Name() { return QStringLiteral("netrove-printer-settings"); }
  QPrinter& printer() { return printer_; }

 private:
  QPrinter printer_{QPrinter::HighResolution};
};

// The kept printer of parent's main window, or `fallback` without a parent.
QPrinter& PrinterFor(QWidget* parent, std::unique_ptr<QPrinter>& fallback) {
  if (parent == nullptr) {
    fallback = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *fallback;
  }
  QWidget* owner = parent->window();
  for (QObject* child : owner->children()) {
    if (auto* settings = dynamic_cast<CPrinterSettings*>(child)) return settings->printer();
  }
  return (new CPrinterSettings(owner))->printer();
}

std::string_view TextToPrint(const CTranscriptView& view, bool selectionOnly) {
  std::string_view text = view.text();
  if (!selectionOnly || !view.hasSelection()) return text;
  const CTranscriptView::ByteRange range = view.selectedRange();
  return text.substr(range.begin, range.end - range.begin);
}

void ReportPrintFailure(QWidget* parent) {
  ShowPlainInformation(parent, QString::fromLatin1(kProductTitle.data(), kProductTitle.size()),
                       QStringLiteral("Could not start print job."));
}

}  // namespace

void PreparePrintDialog(QPrintDialog& dialog, bool selection) {
  // The page count is not known before printing, so there is no page range.
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, selection);
  dialog.setPrintRange(selection ? QAbstractPrintDialog::Selection
                                 : QAbstractPrintDialog::AllPages);
}

void PrepareTranscriptPrintDialog(QPrintDialog& dialog, const CTranscriptView& view) {
  PreparePrintDialog(dialog, view.hasSelection());
}

void PrintWithDialog(QWidget* parent, bool selection, const PrintPages& printPages) {
  std::unique_ptr<QPrinter> fallback;
  QPrinter& printer = PrinterFor(parent, fallback);
  QPrintDialog dialog(&printer, parent);
  PreparePrintDialog(dialog, selection);
  if (dialog.exec() != QDialog::Accepted) return;
  if (printPages(printer) == 0) ReportPrintFailure(parent);
}

void PrintPreviewWith(QWidget* parent, bool selection, const PrintPages& printPages) {
  std::unique_ptr<QPrinter> fallback;
  QPrinter& printer = PrinterFor(parent, fallback);
  printer.setPrintRange(selection ? QPrinter::Selection : QPrinter::AllPages);
  QPrintPreviewDialog preview(&printer, parent);
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                   [&printPages](QPrinter* target) { printPages(*target); });
  preview.exec();
}

void PrintTranscript(CTranscriptView& view, const QString& headerTitle, QWidget* parent) {
  PrintWithDialog(parent, view.hasSelection(),
                  [&](QPrinter& printer) { return PrintTranscriptTo(printer, view, headerTitle); });
}

void PrintPreviewTranscript(CTranscriptView& view, const QString& headerTitle, QWidget* parent) {
  PrintPreviewWith(parent, view.hasSelection(), [&](QPrinter& printer) {
    return PrintTranscriptTo(printer, view, headerTitle);
  });
}

void PrintSetup(QWidget* parent) {
  std::unique_ptr<QPrinter> fallback;
  QPageSetupDialog dialog(&PrinterFor(parent, fallback), parent);
  dialog.exec();
}

int PrintTranscriptTo(QPrinter& printer, const CTranscriptView& view, const QString& headerTitle) {
  const bool selectionOnly = printer.printRange() == QPrinter::Selection;
  return PrintTextTo(printer, TextToPrint(view, selectionOnly), headerTitle);
}

int PrintTextTo(QPrinter& printer, std::string_view text, const QString& headerTitle) {
  QPainter painter;
  if (!painter.begin(&printer)) return 0;
  const CQtTextMeasurer measurer(&printer);
  const PageModel model = BuildPageModel(GeometryOf(printer), measurer);
  CTranscriptPagination pagination(text, model, measurer, headerTitle.toStdString(),
                                   std::string(kPrintFooter));
  const double scaleX = printer.logicalDpiX() / double(kTwipsPerInch);
  const double scaleY = printer.logicalDpiY() / double(kTwipsPerInch);
  while (pagination.hasMorePages()) {
    if (pagination.pagesDone() > 0) printer.newPage();
    const std::vector<DrawOp> ops = pagination.NextPage();
    painter.save();
    painter.scale(scaleX, scaleY);
    PaintPage(painter, ops, measurer);
    painter.restore();
  }
  painter.end();
  return pagination.pagesDone();
}

}  // namespace netrove
