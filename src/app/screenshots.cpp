#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>

#include "app/about_dlg.h"
#include "app/clock_wnd.h"
#include "app/customize.h"
#include "app/main_frame.h"
#include "app/mdi_child_wnd.h"
#include "base/command_ids.h"
#include "widgets/main_window_reporter.h"
#include "widgets/tool_catalog.h"
#include "widgets/tool_message_box.h"

namespace netrove {
namespace {

constexpr QSize kWindowSize(900, 560);

bool Save(CMainFrame& frame, const QDir& folder, const QString& name) {
  QApplication::processEvents();
  return frame.grab().save(folder.absoluteFilePath(name + QStringLiteral(".png")));
}

// Opens the windows of the first `count` tools that have a launcher command.
void OpenTools(CMainFrame& frame, const ToolCatalog& catalog, int count) {
  int opened = 0;
  for (const ToolTemplate& tool : catalog.templates) {
    if (!tool.create || tool.commandId == 0 || opened == count) continue;
    frame.openTool(tool.commandId);
    ++opened;
  }
}

void CloseTools(CMainFrame& frame) {
  for (CMyMDIChildWnd* window : std::vector(frame.toolWindows())) window->close();
}

// Four tools' windows under Window > Tile Horizontally, all in view.
bool SaveTiledWindows(CMainFrame& frame, const ToolCatalog& catalog, const QDir& folder) {
  OpenTools(frame, catalog, 4);
  frame.commandAction(kCmdTileHorizontally)->trigger();
  const bool saved = Save(frame, folder, QStringLiteral("tiled-windows"));
  CloseTools(frame);
  return saved;
}

// Three cascaded windows and the Window menu open over them, listing them.
bool SaveWindowMenu(CMainFrame& frame, const ToolCatalog& catalog, const QDir& folder) {
  OpenTools(frame, catalog, 3);
  frame.commandAction(kCmdCascade)->trigger();
  QMenu* menu = frame.windowMenu();
  const QPoint below = frame.menuBar()->actionGeometry(menu->menuAction()).bottomLeft();
  menu->popup(frame.menuBar()->mapToGlobal(below));
  QApplication::processEvents();
  QPixmap picture = frame.grab();
  QPainter painter(&picture);
  painter.drawPixmap(frame.mapFromGlobal(menu->pos()), menu->grab());
  painter.end();
  menu->hide();
  CloseTools(frame);
  return picture.save(folder.absoluteFilePath(QStringLiteral("window-menu.png")));
}

// The Customize sheet at its first size: every tab in view.
bool SaveCustomizeSheet(CMainFrame& frame, const ToolCatalog& catalog, const QDir& folder) {
  CCustomize sheet(frame, catalog.customizePages, &frame);
  sheet.show();
  QApplication::processEvents();
  return sheet.grab().save(folder.absoluteFilePath(QStringLiteral("customize.png")));
}

bool SaveAboutBox(const QDir& folder) {
  CAboutDlg box;
  box.show();
  QApplication::processEvents();
  return box.grab().save(folder.absoluteFilePath(QStringLiteral("about.png")));
}

}  // namespace

bool RenderScreenshots(const ToolCatalog& catalog, IMessageBoxes& boxes, const QString& folder) {
  const QDir target(folder);
  if (!target.exists() && !QDir().mkpath(folder)) return false;
  CToolMessageBox messageBox(boxes);
  CMainWindowReporter reporter(messageBox);
  CMainFrame frame(catalog, reporter, boxes);
  frame.resize(kWindowSize);
  // A fixed time keeps the pictures the same from one run to the next.
  frame.clockWnd()->setTimeSource([] { return std::string("10:08:30 AM"); });
  frame.setClockShown(true);
  frame.show();
  bool saved = Save(frame, target, QStringLiteral("main-window"));

  for (const ToolTemplate& tool : catalog.templates) {
    if (!tool.create || tool.commandId == 0) continue;
    frame.openTool(tool.commandId);
    if (CMyMDIChildWnd* window = frame.activeToolWindow()) window->showMaximized();
    saved = Save(frame, target, tool.typeName.toLower() + QStringLiteral("-window")) && saved;
    for (CMyMDIChildWnd* window : std::vector(frame.toolWindows())) window->close();
  }
  saved = SaveTiledWindows(frame, catalog, target) && saved;
  saved = SaveWindowMenu(frame, catalog, target) && saved;
  saved = SaveCustomizeSheet(frame, catalog, target) && saved;
  frame.setClockShown(false);
  return SaveAboutBox(target) && saved;
}

}  // namespace netrove
