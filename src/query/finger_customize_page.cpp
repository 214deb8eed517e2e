#include "query/finger_customize_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <cerrno>
#include <string>

#include "base/command_ids.h"
#include "base/tool_message.h"
#include "query/finger_settings.h"
#include "query/query_request.h"
#include "widgets/address_book_dialog.h"

namespace netrove {

CCustomizeFinger::CCustomizeFinger(IMainWindowReporter& reporter, QWidget* parent)
    : CCustomizePage(std::string(kFingerToolName), parent),
      reporter_(reporter),
      serverEdit_(new QLineEdit(this)),
      addressButton_(new QPushButton(QStringLiteral("Address..."), this)),
      queryTokenBox_(new QCheckBox(QStringLiteral("/W Query Token."), this)) {
  serverEdit_->setObjectName(QStringLiteral("serverEdit"));
  serverEdit_->setMaxLength(kServerTextLimit);
  addressButton_->setObjectName(QStringLiteral("addressButton"));
  queryTokenBox_->setObjectName(QStringLiteral("queryTokenBox"));

  auto* layout = new QGridLayout(this);
  layout->addWidget(createSizeAndPositionBox(), 0, 0, 1, 3);
  layout->addWidget(new QLabel(QStringLiteral("Send Request To:"), this), 1, 0);
  layout->addWidget(serverEdit_, 1, 1);
  layout->addWidget(addressButton_, 1, 2);
  layout->addWidget(queryTokenBox_, 2, 1, 1, 2);
  layout->setRowStretch(3, 1);
  layout->setColumnStretch(1, 1);

  connect(serverEdit_, &QLineEdit::editingFinished, this, &CCustomizeFinger::writeServer);
  connect(addressButton_, &QPushButton::clicked, this, &CCustomizeFinger::pickServer);
  bindCheckBox(queryTokenBox_, kQueryTokenValue, {},
               [this](int error) { reporter_.PostSystemError(error); });
}

int CCustomizeFinger::helpContext() const { return CommandHelpContext(kCmdFinger); }

void CCustomizeFinger::loadSettings() {
  const FingerSettings settings = ReadFingerSettings();
  const QSignalBlocker blocker(serverEdit_);
  serverEdit_->setText(QString::fromStdString(settings.serverLocation));
  loadCheckBox(queryTokenBox_, kQueryTokenValue);
}

void CCustomizeFinger::writeServer() {
  errno = 0;
  if (WriteFingerServer(serverEdit_->text().toStdString())) return;
  reporter_.PostSystemError(errno != 0 ? errno : EIO);
}

void CCustomizeFinger::pickServer() {
  const auto picked = PickAddressFromBook(this);
  if (!picked) return;
  serverEdit_->setText(*picked);
  writeServer();
}

}  // namespace netrove
