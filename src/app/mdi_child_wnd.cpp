#include "app/mdi_child_wnd.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QScrollArea>
#include <algorithm>

#include "app/placement_windows.h"
#include "widgets/tool_view.h"

namespace netrove {
namespace {

// Asks for the whole view at first (a plain scroll area caps its wish at a
// few dozen text lines) and can be made as small as its scroll bars.
class CToolViewScroller : public QScrollArea {
 public:
  using QScrollArea::QScrollArea;
  QSize sizeHint() const override {
    return widget() != nullptr ? widget()->sizeHint() : QScrollArea::sizeHint();
  }
};

}  // namespace

CMyMDIChildWnd::CMyMDIChildWnd(CToolView* view, QString typeName, QWidget* parent)
    : QMdiSubWindow(parent), view_(view), typeName_(std::move(typeName)) {
  setAttribute(Qt::WA_DeleteOnClose);
  // A window made smaller than its controls need (a tile of many windows)
  // scrolls its content instead of cutting it off or pushing the window
  // out of the main window's view.
  auto* scroller = new CToolViewScroller(this);
  scroller->setObjectName(QStringLiteral("ToolViewScroller"));
  scroller->setFrameShape(QFrame::NoFrame);
  scroller->setWidgetResizable(true);
  scroller->setWidget(view_);
  setWidget(scroller);
  setWindowTitle(view_->documentTitle());
  connect(view_, &CToolView::documentTitleChanged, this, &QWidget::setWindowTitle);
  connect(view_, &CToolView::closeRequested, this, &QWidget::close);
  connect(this, &QMdiSubWindow::aboutToActivate, this, &CMyMDIChildWnd::restorePlacementOnce);
  // The frame's Close: Ctrl+F4 as on every MDI desktop and Ctrl+W as on
  // Linux ones, whatever the platform's theme gives it. A tool window with
  // a command of its own on one of them takes it over (CMainFrame).
  const QList<QAction*> frameCommands = systemMenu()->actions();
  const auto close = std::find_if(frameCommands.rbegin(), frameCommands.rend(),
                                  [](const QAction* action) { return !action->isSeparator(); });
  if (close != frameCommands.rend()) {
    (*close)->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_F4), QKeySequence(Qt::CTRL | Qt::Key_W)});
  }
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
