#include "app/customize_netrove.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cerrno>

#include "app/shell_settings.h"
#include "base/command_ids.h"
#include "base/network_settings.h"
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
  // In the order of FamilyChoice.
  addressFamily_ = new QComboBox(network);
  addressFamily_->addItems(
      {QStringLiteral("IPv4 and IPv6"), QStringLiteral("IPv4 only"), QStringLiteral("IPv6 only")});
  networkLayout->addRow(QStringLiteral("Address families:"), addressFamily_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(network);
  layout->addWidget(createListenerGroup());
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
  connect(addressFamily_, &QComboBox::currentIndexChanged, this, [this](int index) {
    writeDword(kValueAddressFamily, StoredFamilyValue(static_cast<FamilyChoice>(index)));
  });
}

// Other copies of Netrove call and broadcast to every copy they can reach;
// the user decides whether this one answers, and from where.
QWidget* CCustomizeNetrove::createListenerGroup() {
  auto* group = new QGroupBox(QStringLiteral("Chat and Broadcasts"), this);
  answerPeers_ = new QCheckBox(QString::fromLatin1(kAnswerPeersLabel), group);
  listenAddress_ = new QComboBox(group);
  listenAddress_->addItems(
      {QStringLiteral("Every network interface"), QStringLiteral("This computer only (loopback)")});
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Listen on:"), listenAddress_);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(answerPeers_);
  layout->addLayout(form);
  connect(answerPeers_, &QCheckBox::clicked, this, [this](bool on) {
    listenAddress_->setEnabled(on);
    writeListenerValue(kValueAnswerPeers, on ? 1u : 0u);
  });
  connect(listenAddress_, &QComboBox::currentIndexChanged, this,
          [this](int index) { writeListenerValue(kValueLoopbackOnly, index == 1 ? 1u : 0u); });
  return group;
}

void CCustomizeNetrove::writeListenerValue(std::string_view valueName, std::uint32_t value) {
  if (!writeDword(valueName, value)) {
    shell_.toolServices().reporter().PostSystemError(errno != 0 ? errno : EIO);
    return;
  }
  shell_.changeListenerChoice();
}

int CCustomizeNetrove::helpContext() const { return kHelpMainWindow; }

void CCustomizeNetrove::loadSettings() {
  loadCheckBox(alwaysOnTop_, kValueAlwaysOnTop);
  loadCheckBox(clock_, kValueClock);
  const NetworkSettings network = ReadNetworkSettings();
  const QSignalBlocker connectBlocker(connectTimeout_);
  const QSignalBlocker replyBlocker(replyTimeout_);
  const QSignalBlocker familyBlocker(addressFamily_);
  connectTimeout_->setValue(network.connectMs / 1000);
  replyTimeout_->setValue(network.replyMs / 1000);
  addressFamily_->setCurrentIndex(static_cast<int>(network.families));
  const QSignalBlocker answerBlocker(answerPeers_);
  const QSignalBlocker addressBlocker(listenAddress_);
  answerPeers_->setChecked(readDword(kValueAnswerPeers, 1) != 0);
  listenAddress_->setCurrentIndex(readDword(kValueLoopbackOnly, 0) != 0 ? 1 : 0);
  listenAddress_->setEnabled(answerPeers_->isChecked());
}

}  // namespace netrove
