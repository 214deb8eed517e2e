#pragma once
// The main window's receiver of WM_TOOL_MESSAGE for worker threads: each
// call is queued onto the GUI thread and shown there, so no worker ever
// waits for a box.
#include <QObject>

#include "base/tool_message.h"

namespace netrove {

class CToolMessageBox;

class CMainWindowReporter : public QObject, public IMainWindowReporter {
  Q_OBJECT

 public:
  // Lives on the GUI thread; must outlive every thread that reports to it.
  explicit CMainWindowReporter(CToolMessageBox& display, QObject* parent = nullptr);

  void PostToolMessage(int source, std::string text) override;
  void PostSystemError(int errorCode) override;
  void PostAttention() override;

 private:
  CToolMessageBox& display_;
};

}  // namespace netrove
