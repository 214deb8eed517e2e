#pragma once
// The placement record's view of the main window and of a tool window, so
// that SaveWindowPlacement/RestoreWindowPlacement can move real windows.
#include <QPointer>
#include <QRect>

#include "base/window_placement.h"

class QMainWindow;
class QMdiSubWindow;

namespace netrove {

// The main window in screen coordinates, clamped into the primary screen's
// available area.
class CMainWindowPlacement : public IPlacementWindow {
 public:
  explicit CMainWindowPlacement(QMainWindow& window);
  WindowPlacement GetPlacement() const override;
  void SetPlacement(const WindowPlacement& placement) override;
  bool IsMainWindow() const override { return true; }
  ScreenArea AvailableArea() const override;

 private:
  QMainWindow& window_;
};

// A tool window in the coordinates of the main window's client area. Qt
// keeps no normal rectangle for a maximised or minimised subwindow, so the
// frame reports the last one it had.
class CChildWindowPlacement : public IPlacementWindow {
 public:
  CChildWindowPlacement(QMdiSubWindow& window, QRect normalGeometry);
  WindowPlacement GetPlacement() const override;
  void SetPlacement(const WindowPlacement& placement) override;

 private:
  QMdiSubWindow& window_;
  QRect normalGeometry_;
};

}  // namespace netrove
