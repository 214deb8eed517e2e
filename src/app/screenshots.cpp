#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include "app/clock_wnd.h"
#include "app/main_frame.h"
#include "app/mdi_child_wnd.h"
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
  frame.setClockShown(false);
  return saved;
}

}  // namespace netrove
