#include "query/nicname_view.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/command_ids.h"
#include "query/nicname_server_group.h"
#include "query/nicname_settings.h"
#include "query/query_request.h"
#include "widgets/recent_host_box.h"
#include "widgets/transcript_view.h"

namespace netrove {

CNicNameView::CNicNameView(CToolServices& services, QWidget* parent, IResolver& resolver)
    : CQueryView(services, QStringLiteral("NicName/WhoIs"), kWhoIsPort, parent, resolver),
      commandEdit_(new QLineEdit(this)),
      serverGroup_(new CWhoIsServerGroup(this)),
      connectButton_(new QPushButton(QStringLiteral("Connect"), this)),
      helpRequestButton_(new QPushButton(QStringLiteral("Request Help"), this)) {
  commandEdit_->setObjectName(QStringLiteral("commandEdit"));
  commandEdit_->setMaxLength(kWhoIsCommandLimit);
  connectButton_->setObjectName(QStringLiteral("connectButton"));
  connectButton_->setDefault(true);
  helpRequestButton_->setObjectName(QStringLiteral("helpRequestButton"));

  const NicNameSettings settings = ReadNicNameSettings();
  serverGroup_->setChoice(settings.choice);
  serverGroup_->otherEdit()->setText(QString::fromStdString(settings.otherServer));
  followReferrals_ = settings.followReferrals;

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(connectButton_);
  buttons->addWidget(helpRequestButton_);
  buttons->addWidget(closeButton());
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Command Line:"), this), 0, 0);
  layout->addWidget(commandEdit_, 0, 1);
  layout->addWidget(serverGroup_, 1, 0, 1, 2);
  layout->addLayout(buttons, 2, 0, 1, 2);
  layout->addWidget(new QLabel(QStringLiteral("Reply"), this), 3, 0, 1, 2);
  layout->addWidget(replyBox(), 4, 0, 1, 2);
  layout->setRowStretch(4, 1);
  layout->setColumnStretch(1, 1);

  connect(serverGroup_->addressButton(), &QPushButton::clicked, this,
          [this] { pickAddressInto(serverGroup_->otherEdit()); });
  connect(connectButton_, &QPushButton::clicked, this, &CNicNameView::sendCommandLine);
  connect(helpRequestButton_, &QPushButton::clicked, this, &CNicNameView::requestHelp);
}

int CNicNameView::helpContext() const { return CommandHelpContext(kCmdNicName); }

void CNicNameView::sendCommandLine() {
  const std::string command = commandEdit_->text().toStdString();
  if (command.empty() || !IsSafeQueryText(command)) {
    if (!command.empty()) QApplication::beep();
    commandEdit_->setFocus();
    return;
  }
  sendToChosenServer(WhoIsRequestLine(command), followReferrals_);
}

// A server's help text names no other server worth asking.
void CNicNameView::requestHelp() { sendToChosenServer(std::string(kWhoIsHelpRequest), false); }

void CNicNameView::sendToChosenServer(std::string requestLine, bool followReferrals) {
  const std::string server =
      WhoIsServerHost(serverGroup_->choice(), serverGroup_->otherEdit()->text().toStdString());
  if (server.empty()) {
    serverGroup_->otherEdit()->setFocus();
    return;
  }
  startQuery(server, std::move(requestLine), followReferrals);
  // Busy means the request is on its way: only then is a typed server kept.
  if (isBusy() && serverGroup_->choice() == WhoIsServerChoice::Other) {
    serverGroup_->otherBox()->rememberCurrentHost();
  }
}

void CNicNameView::setQueryControlsEnabled(bool enabled) {
  commandEdit_->setEnabled(enabled);
  serverGroup_->setControlsEnabled(enabled);
  connectButton_->setEnabled(enabled);
  connectButton_->setDefault(enabled);
  helpRequestButton_->setEnabled(enabled);
  helpRequestButton_->setDefault(false);
}

void CNicNameView::restoreIdleFocus() { connectButton_->setFocus(); }

}  // namespace netrove
