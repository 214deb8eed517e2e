#include "widgets/main_window_reporter.h"

#include "widgets/tool_message_box.h"

namespace netrove {

CMainWindowReporter::CMainWindowReporter(CToolMessageBox& display, QObject* parent)
    : QObject(parent), display_(display) {}

void CMainWindowReporter::PostToolMessage(int source, std::string text) {
  QMetaObject::invokeMethod(
      this,
      [this, source, text = QString::fromStdString(text)] { display_.showText(source, text); },
      Qt::QueuedConnection);
}

void CMainWindowReporter::PostSystemError(int errorCode) {
  QMetaObject::invokeMethod(
      this, [this, errorCode] { display_.showSystemError(errorCode); }, Qt::QueuedConnection);
}

void CMainWindowReporter::PostAttention() {
  QMetaObject::invokeMethod(
      this, [this] { display_.signalAttention(); }, Qt::QueuedConnection);
}

}  // namespace netrove
