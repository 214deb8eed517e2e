#pragma once
// Renders the main window, and a window of every built-in tool, into PNG
// files for the documentation, without any display.
#include <QString>

namespace netrove {

class IMessageBoxes;
struct ToolCatalog;

// Writes main-window.png, <type>-window.png for each tool with a launcher
// command, tiled-windows.png (four tool windows tiled), window-menu.png (the
// Window menu listing three windows), customize.png (the Customize sheet)
// and about.png into `folder`. False when a file could not be written.
bool RenderScreenshots(const ToolCatalog& catalog, IMessageBoxes& boxes, const QString& folder);

}  // namespace netrove
