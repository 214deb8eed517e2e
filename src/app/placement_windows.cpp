#include "app/placement_windows.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QScreen>
#include <algorithm>

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

// A tool window's stored edges are used as stored, but within what a widget
// can take (a size of at least a pixel and at most QWIDGETSIZE_MAX), computed
// without overflow for any stored values.
int Coordinate(std::int32_t value) { return std::clamp(value, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); }

int ExtentBetween(std::int32_t start, std::int32_t end) {
  return static_cast<int>(std::clamp<std::int64_t>(std::int64_t{end} - start, 1, QWIDGETSIZE_MAX));
}

QRect NormalRectOf(const WindowPlacement& placement) {
  return QRect(Coordinate(placement.left), Coordinate(placement.top),
               ExtentBetween(placement.left, placement.right),
               ExtentBetween(placement.top, placement.bottom));
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

ScreenArea CMainWindowPlacement::AvailableArea() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {};
  const QRect area = screen->availableGeometry();
  return {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
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
