#include "peer/chat_customize_page.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include "base/command_ids.h"
#include "base/tool_message.h"

namespace netrove {
namespace {

constexpr std::string_view kCloseWindowOnHangUpValue = "CloseWindowOnHangUp";

}  // namespace

CCustomizeChat::CCustomizeChat(IMainWindowReporter& reporter, QWidget* parent)
    : CCustomizePage("Chat", parent),
      closeOnHangUpBox_(new QCheckBox(QStringLiteral("Close window on hang up."), this)) {
  closeOnHangUpBox_->setObjectName(QStringLiteral("closeOnHangUpBox"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(createSizeAndPositionBox());
  layout->addWidget(closeOnHangUpBox_);
  layout->addStretch();
  bindCheckBox(closeOnHangUpBox_, kCloseWindowOnHangUpValue, {},
               [&reporter](int error) { reporter.PostSystemError(error); });
}

int CCustomizeChat::helpContext() const { return CommandHelpContext(kCmdChat); }

void CCustomizeChat::loadSettings() { loadCheckBox(closeOnHangUpBox_, kCloseWindowOnHangUpValue); }

}  // namespace netrove
