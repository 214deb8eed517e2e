#include "app/placement_windows.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QScreen>

namespace netrove {
namespace {

WindowPlacement PlacementOf(const QRect& normal, bool minimized, bool maximized) {
  WindowPlacement placement;
  placement.showCmd = minimized ? kShowMinimized : maximized ? kShowMaximized : kShowNormal;
  placement.left = normal.left();
  placement.top = normal.top();
  placement.right = normal.left() + normal.width();
  placement.bottom = normal.top() + normal.height();
  return placement;
}

QRect NormalRectOf(const WindowPlacement& placement) {
  return QRect(placement.left, placement.top, std::max(placement.right - placement.left, 1),
               std::max(placement.bottom - placement.top, 1));
}

void ApplyShowState(QWidget& window, std::uint32_t showCmd) {
  if (showCmd == kShowMinimized) {
    window.showMinimized();
  } else if (showCmd == kShowMaximized) {
    window.showMaximized();
  } else if (window.isMinimized() || window.isMaximized()) {
    window.showNormal();
  }
}

}  // namespace

CMainWindowPlacement::CMainWindowPlacement(QMainWindow& window) : window_(window) {}

WindowPlacement CMainWindowPlacement::GetPlacement() const {
  const QRect normal = window_.isVisible() ? window_.normalGeometry() : window_.geometry();
  return PlacementOf(normal.isValid() ? normal : window_.geometry(), window_.isMinimized(),
                     window_.isMaximized());
}

void CMainWindowPlacement::SetPlacement(const WindowPlacement& placement) {
  window_.setGeometry(NormalRectOf(placement));
  ApplyShowState(window_, placement.showCmd);
}

int CMainWindowPlacement::ScreenWidth() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().width() : 0;
}

int CMainWindowPlacement::ScreenHeight() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().height() : 0;
}

CChildWindowPlacement::CChildWindowPlacement(QMdiSubWindow& window, QRect normalGeometry)
    : window_(window), normalGeometry_(normalGeometry) {}

WindowPlacement CChildWindowPlacement::GetPlacement() const {
  return PlacementOf(normalGeometry_, window_.isMinimized(), window_.isMaximized());
}

void CChildWindowPlacement::SetPlacement(const WindowPlacement& placement) {
  window_.setGeometry(NormalRectOf(placement));
  ApplyShowState(window_, placement.showCmd);
}

}  // namespace netrove
