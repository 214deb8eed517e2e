#include "query/nicname_customize_page.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cerrno>
#include <string>

#include "base/command_ids.h"
#include "base/tool_message.h"
#include "query/nicname_server_group.h"
#include "widgets/address_book_dialog.h"

namespace netrove {

CCustomizeNicName::CCustomizeNicName(IMainWindowReporter& reporter, QWidget* parent)
    : CCustomizePage(std::string(kNicNameToolName), parent),
      reporter_(reporter),
      serverGroup_(new CWhoIsServerGroup(this)),
      stopAtFirstBox_(
          new QCheckBox(QStringLiteral("Show the first server's answer only (no referrals)."))) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(createSizeAndPositionBox());
  layout->addWidget(serverGroup_);
  layout->addWidget(stopAtFirstBox_);
  bindCheckBox(stopAtFirstBox_, kStopAtFirstAnswerValue);
  layout->addStretch();

  connect(serverGroup_, &CWhoIsServerGroup::choiceClicked, this, &CCustomizeNicName::writeChoice);
  connect(serverGroup_->otherEdit(), &QLineEdit::editingFinished, this,
          &CCustomizeNicName::writeOtherServer);
  connect(serverGroup_->addressButton(), &QPushButton::clicked, this,
          &CCustomizeNicName::pickOtherServer);
}

int CCustomizeNicName::helpContext() const { return CommandHelpContext(kCmdNicName); }

void CCustomizeNicName::loadSettings() {
  const NicNameSettings settings = ReadNicNameSettings();
  storedChoice_ = settings.choice;
  serverGroup_->setChoice(settings.choice);
  loadOtherServer();
  loadCheckBox(stopAtFirstBox_, kStopAtFirstAnswerValue);
}

void CCustomizeNicName::writeChoice(WhoIsServerChoice choice) {
  if (!WriteWhoIsServerChoice(choice)) {
    // The store refused: the page keeps showing what is stored.
    serverGroup_->setChoice(storedChoice_);
    return;
  }
  storedChoice_ = choice;
  if (choice == WhoIsServerChoice::Other) loadOtherServer();
}

void CCustomizeNicName::loadOtherServer() {
  const QSignalBlocker blocker(serverGroup_->otherEdit());
  serverGroup_->otherEdit()->setText(QString::fromStdString(ReadOtherWhoIsServer()));
}

void CCustomizeNicName::writeOtherServer() {
  errno = 0;
  if (WriteOtherWhoIsServer(serverGroup_->otherEdit()->text().toStdString())) return;
  reporter_.PostSystemError(errno != 0 ? errno : EIO);
}

void CCustomizeNicName::pickOtherServer() {
  const auto picked = PickAddressFromBook(this);
  if (!picked) return;
  serverGroup_->otherEdit()->setText(*picked);
  writeOtherServer();
}

}  // namespace netrove
