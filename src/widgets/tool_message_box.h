#pragma once
// Shows what the worker threads send the main window (WM_TOOL_MESSAGE) on
// the GUI thread: an information box captioned "Netrove:" and the source's
// name, the system's text for a 1133 error code, or the attention signal.
#include <QPointer>
#include <QString>
#include <QWidget>

namespace netrove {

class IMessageBoxes;

class CToolMessageBox {
 public:
  explicit CToolMessageBox(IMessageBoxes& boxes);

  // The window that flashes for the attention signal.
  void setMainWindow(QWidget* window) { mainWindow_ = window; }

  // A text of a source; unknown sources show nothing.
  void showText(int source, const QString& text);
  void showSystemError(int errorCode);
  // A notice of the program itself, captioned with the product's name.
  void showNotice(const QString& text);
  // Beeps and flashes the main window without waiting for the flashing.
  void signalAttention();

 private:
  QWidget* owner() const;

  IMessageBoxes& boxes_;
  QPointer<QWidget> mainWindow_;
};

}  // namespace netrove
