#pragma once
// What the main window offers the commands, listeners' handlers and
// Customize pages that other parts of the program plug into it.
#include <QString>

class QWidget;

namespace netrove {

class CToolServices;
class CToolView;
class ITftpServer;

class IShellContext {
 public:
  virtual ~IShellContext() = default;
  // The main window: owner of dialogs and boxes.
  virtual QWidget* mainWindow() = 0;
  // The reporter and help every tool window gets.
  virtual CToolServices& toolServices() = 0;
  // Opens a new window of a launcher command's tool (as the menu does);
  // nullptr when that tool is not available.
  virtual CToolView* openTool(int commandId) = 0;
  // Hosts an already made view in a new tool window (a chat window opened
  // for an incoming call, a posting window); the shell takes ownership.
  virtual void openToolWindow(CToolView* view, const QString& typeName) = 0;
  // The background TFTP server; nullptr while none is built in.
  virtual ITftpServer* tftpServer() = 0;
  // The main window's own switches, as the general Customize page sets them.
  virtual void setAlwaysOnTop(bool on) = 0;
  virtual void setClockShown(bool on) = 0;
  // The chat and broadcast listeners' settings changed; a shell without
  // listeners has nothing to do.
  virtual void changeListenerChoice() {}
};

}  // namespace netrove
