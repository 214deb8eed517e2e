#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include "app/about_dlg.h"
#include "app/clock_wnd.h"
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

// The first two tools' windows under Window > Tile Horizontally.
bool SaveTiledWindows(CMainFrame& frame, const ToolCatalog& catalog, const QDir& folder) {
  int opened = 0;
  for (const ToolTemplate& tool : catalog.templates) {
    if (!tool.create || tool.commandId == 0 || opened == 2) continue;
    frame.openTool(tool.commandId);
    ++opened;
  }
  // Tall enough for both windows whole.
  const QSize usual = frame.size();
  frame.resize(kWindowSize.width(), 2 * kWindowSize.height());
  QApplication::processEvents();
  frame.commandAction(kCmdTileHorizontally)->trigger();
  const bool saved = Save(frame, folder, QStringLiteral("tiled-windows"));
  for (CMyMDIChildWnd* window : std::vector(frame.toolWindows())) window->close();
  frame.resize(usual);
  return saved;
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
  frame.setClockShown(false);
  return SaveAboutBox(target) && saved;
}

}  // namespace netrove
