#include "app/customize_netrove.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/shell_settings.h"
#include "base/command_ids.h"
#include "base/network_timeouts.h"
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
  // The waits of every tool that connects to a server of its own.
  auto* network = new QGroupBox(QStringLiteral("Connections"), this);
  connectTimeout_ = new QSpinBox(network);
  replyTimeout_ = new QSpinBox(network);
  connectTimeout_->setRange(1, static_cast<int>(kLongestNetworkTimeout));
  replyTimeout_->setRange(0, static_cast<int>(kLongestNetworkTimeout));
  connectTimeout_->setSuffix(QStringLiteral(" s"));
  replyTimeout_->setSuffix(QStringLiteral(" s"));
  replyTimeout_->setSpecialValueText(QStringLiteral("None"));
  auto* networkLayout = new QFormLayout(network);
  networkLayout->addRow(QStringLiteral("Connect time-out:"), connectTimeout_);
  networkLayout->addRow(QStringLiteral("Reply time-out:"), replyTimeout_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(network);
  layout->addStretch();

  bindCheckBox(alwaysOnTop_, kValueAlwaysOnTop, [this](bool on) { shell_.setAlwaysOnTop(on); });
  bindCheckBox(
      clock_, kValueClock, [this](bool on) { shell_.setClockShown(on); },
      [this](int error) { shell_.toolServices().reporter().PostSystemError(error); });
  connect(connectTimeout_, &QSpinBox::valueChanged, this, [this](int seconds) {
    writeDword(kValueConnectTimeout, static_cast<std::uint32_t>(seconds));
  });
  connect(replyTimeout_, &QSpinBox::valueChanged, this, [this](int seconds) {
    writeDword(kValueReplyTimeout, static_cast<std::uint32_t>(seconds));
  });
}

int CCustomizeNetrove::helpContext() const { return kHelpMainWindow; }

void CCustomizeNetrove::loadSettings() {
  loadCheckBox(alwaysOnTop_, kValueAlwaysOnTop);
  loadCheckBox(clock_, kValueClock);
  const NetworkTimeouts timeouts = ReadNetworkTimeouts();
  const QSignalBlocker connectBlocker(connectTimeout_);
  const QSignalBlocker replyBlocker(replyTimeout_);
  connectTimeout_->setValue(timeouts.connectMs / 1000);
  replyTimeout_->setValue(timeouts.replyMs / 1000);
}

}  // namespace netrove
