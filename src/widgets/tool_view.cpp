#include "widgets/tool_view.h"

namespace netrove {

CToolView::CToolView(CToolServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {}

void CToolView::setBusy(bool busy) {
  if (busy_ == busy) return;
  busy_ = busy;
  emit busyChanged(busy);
  emit printEnabledChanged();
}

void CToolView::setCloseEnabled(bool enabled) { closeEnabled_ = enabled; }

void CToolView::setDocumentTitle(const QString& title) {
  if (title_ == title) return;
  title_ = title;
  emit documentTitleChanged(title);
}

}  // namespace netrove
