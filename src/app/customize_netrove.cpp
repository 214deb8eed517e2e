#include "app/customize_netrove.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include "app/shell_settings.h"
#include "base/command_ids.h"
#include "widgets/shell_context.h"
#include "widgets/tool_view.h"

namespace netrove {

CCustomizeNetrove::CCustomizeNetrove(IShellContext& shell, QWidget* parent)
    : CCustomizePage(std::string(kShellKeyName), parent), shell_(shell) {
  auto* group = new QGroupBox(QStringLiteral("Window Settings"), this);
  sizeAndPosition_ = createSizeAndPositionBox();
  alwaysOnTop_ = new QCheckBox(QString::fromLatin1(kAlwaysOnTopLabel), this);
  clock_ = new QCheckBox(QString::fromLatin1(kDisplayClockLabel), this);

  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(sizeAndPosition_);
  groupLayout->addWidget(alwaysOnTop_);
  groupLayout->addWidget(clock_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addStretch();

  bindCheckBox(alwaysOnTop_, kValueAlwaysOnTop, [this](bool on) { shell_.setAlwaysOnTop(on); });
  bindCheckBox(
      clock_, kValueClock, [this](bool on) { shell_.setClockShown(on); },
      [this](int error) { shell_.toolServices().reporter().PostSystemError(error); });
}

int CCustomizeNetrove::helpContext() const { return kHelpMainWindow; }

void CCustomizeNetrove::loadSettings() {
  loadCheckBox(alwaysOnTop_, kValueAlwaysOnTop);
  loadCheckBox(clock_, kValueClock);
}

}  // namespace netrove
