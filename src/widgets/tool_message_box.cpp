#include "widgets/tool_message_box.h"

#include <QApplication>

#include "base/tool_message.h"
#include "widgets/message_boxes.h"

namespace netrove {
namespace {

// The caption flashes three times, each for one caret blink.
constexpr int kAttentionFlashes = 3;

}  // namespace

CToolMessageBox::CToolMessageBox(IMessageBoxes& boxes) : boxes_(boxes) {}

QWidget* CToolMessageBox::owner() const {
  // The box belongs to whatever window the user is in, or to none.
  return QApplication::activeWindow();
}

void CToolMessageBox::showText(int source, const QString& text) {
  const std::string caption = ToolMessageCaption(source);
  if (caption.empty()) return;
  boxes_.information(owner(), QString::fromStdString(caption), text);
}

void CToolMessageBox::showSystemError(int errorCode) {
  boxes_.information(owner(), QString::fromStdString(ToolMessageCaption(kSourceSystemMessage)),
                     QString::fromStdString(SystemErrorText(errorCode)));
}

void CToolMessageBox::showNotice(const QString& text) {
  boxes_.information(owner(), QStringLiteral("Netrove"), text);
}

void CToolMessageBox::signalAttention() {
  QApplication::beep();
  if (mainWindow_ == nullptr) return;
  // alert() flashes asynchronously: the window keeps handling input.
  const int blink = QApplication::cursorFlashTime() > 0 ? QApplication::cursorFlashTime() : 1000;
  QApplication::alert(mainWindow_, kAttentionFlashes * blink);
}

}  // namespace netrove
