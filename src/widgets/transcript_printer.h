#pragma once
// Printing a transcript: the print dialog, the preview and the printer setup
// of the File menu. The pages are laid out by print_layout (header title and
// "Page n", rules, justified body, the product footer) and drawn on a
// QPrinter in twips.
//
// The printer chosen in the dialogs (printer, paper, orientation) is kept
// with the top-level window of `parent`, so later prints from any tool window
// of that main window use it.
#include <QString>
#include <functional>
#include <string_view>

class QPrintDialog;
class QPrinter;
class QWidget;

namespace netrove {

class CTranscriptView;

// File > Print: the print dialog (the selection option offered and chosen
// when text is selected, page ranges never offered), then the pages.
void PrintTranscript(CTranscriptView& view, const QString& headerTitle, QWidget* parent);

// File > Print Preview: the pages of the selection, or of the whole
// transcript when nothing is selected, in a preview window.
void PrintPreviewTranscript(CTranscriptView& view, const QString& headerTitle, QWidget* parent);

// Prints on a ready printer and returns the number of pages (0: failed).
using PrintPages = std::function<int(QPrinter&)>;

// File > Print of any printable view: the print dialog (the selection
// option offered and chosen when `selection`, page ranges never offered),
// then `printPages` on the chosen printer.
void PrintWithDialog(QWidget* parent, bool selection, const PrintPages& printPages);

// File > Print Preview of any printable view: `printPages` in a preview
// window, on a printer whose range is the selection when `selection`.
void PrintPreviewWith(QWidget* parent, bool selection, const PrintPages& printPages);

// File > Print Setup: paper and orientation for the following prints.
void PrintSetup(QWidget* parent);

// Sets the dialog's options for a transcript as File > Print shows them.
void PrepareTranscriptPrintDialog(QPrintDialog& dialog, const CTranscriptView& view);
void PreparePrintDialog(QPrintDialog& dialog, bool selection);

// Prints without any dialog on a ready printer (a PDF file in tests): the
// view's selection when the printer's range is the selection and text is
// selected, otherwise the whole transcript. Returns the number of pages.
int PrintTranscriptTo(QPrinter& printer, const CTranscriptView& view, const QString& headerTitle);

// Prints the given text (CR LF line ends) on a ready printer. Returns the
// number of pages, 0 when the printer could not be opened.
int PrintTextTo(QPrinter& printer, std::string_view text, const QString& headerTitle);

}  // namespace netrove
