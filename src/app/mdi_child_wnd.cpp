#include "app/mdi_child_wnd.h"

#include <QCloseEvent>

#include "app/placement_windows.h"
#include "widgets/tool_view.h"

namespace netrove {

CMyMDIChildWnd::CMyMDIChildWnd(CToolView* view, QString typeName, QWidget* parent)
    : QMdiSubWindow(parent), view_(view), typeName_(std::move(typeName)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWidget(view_);
  setWindowTitle(view_->documentTitle());
  connect(view_, &CToolView::documentTitleChanged, this, &QWidget::setWindowTitle);
  connect(view_, &CToolView::closeRequested, this, &QWidget::close);
  connect(this, &QMdiSubWindow::aboutToActivate, this, &CMyMDIChildWnd::restorePlacementOnce);
}

void CMyMDIChildWnd::restorePlacementOnce() {
  if (placementRestored_) return;
  placementRestored_ = true;
  CChildWindowPlacement placement(*this, normalGeometry_);
  RestoreWindowPlacement(placement, typeName_.toStdString());
}

void CMyMDIChildWnd::closeEvent(QCloseEvent* event) {
  // A tool greys its Close item while a connection is in progress.
  if (!view_->isCloseEnabled()) {
    event->ignore();
    return;
  }
  QMdiSubWindow::closeEvent(event);
  if (!event->isAccepted()) return;
  const CChildWindowPlacement placement(*this, normalGeometry_);
  SaveWindowPlacement(placement, typeName_.toStdString());
  emit closing(this);
}

void CMyMDIChildWnd::moveEvent(QMoveEvent* event) {
  QMdiSubWindow::moveEvent(event);
  rememberNormalGeometry();
}

void CMyMDIChildWnd::resizeEvent(QResizeEvent* event) {
  QMdiSubWindow::resizeEvent(event);
  rememberNormalGeometry();
}

void CMyMDIChildWnd::rememberNormalGeometry() {
  if (!isMinimized() && !isMaximized()) normalGeometry_ = geometry();
}

}  // namespace netrove
