#include "widgets/tool_view.h"

#include "widgets/transcript_printer.h"
#include "widgets/transcript_view.h"

namespace netrove {

CToolView::CToolView(CToolServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {}

void CToolView::setBusy(bool busy) {
  if (busy_ == busy) return;
  busy_ = busy;
  emit busyChanged(busy);
  emit printEnabledChanged();
}

bool CToolView::hasPrintSelection() const {
  const CTranscriptView* transcript = printableTranscript();
  return transcript != nullptr && transcript->hasSelection();
}

int CToolView::printTo(QPrinter& printer) const {
  const CTranscriptView* transcript = printableTranscript();
  return transcript != nullptr ? PrintTranscriptTo(printer, *transcript, printTitle()) : 0;
}

void CToolView::print(QWidget* dialogParent) const {
  PrintWithDialog(dialogParent, hasPrintSelection(),
                  [this](QPrinter& printer) { return printTo(printer); });
}

void CToolView::printPreview(QWidget* dialogParent) const {
  PrintPreviewWith(dialogParent, hasPrintSelection(),
                   [this](QPrinter& printer) { return printTo(printer); });
}

void CToolView::setCloseEnabled(bool enabled) { closeEnabled_ = enabled; }

void CToolView::setDocumentTitle(const QString& title) {
  if (title_ == title) return;
  title_ = title;
  emit documentTitleChanged(title);
}

}  // namespace netrove
