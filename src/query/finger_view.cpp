#include "query/finger_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/command_ids.h"
#include "query/finger_settings.h"
#include "query/query_request.h"
#include "widgets/recent_host_box.h"
#include "widgets/transcript_view.h"

namespace netrove {

CFingerView::CFingerView(CToolServices& services, QWidget* parent, IResolver& resolver)
    : CQueryView(services, QStringLiteral("Finger"), kFingerPort, parent, resolver),
      serverBox_(new CRecentHostBox(std::string(kFingerToolName), this)),
      addressButton_(new QPushButton(QStringLiteral("Address..."), this)),
      queryEdit_(new QLineEdit(this)),
      queryTokenBox_(new QCheckBox(QStringLiteral("/W Query Token."), this)),
      connectButton_(new QPushButton(QStringLiteral("Connect"), this)) {
  serverBox_->setObjectName(QStringLiteral("serverBox"));
  serverEdit()->setObjectName(QStringLiteral("serverEdit"));
  serverEdit()->setMaxLength(kServerTextLimit);
  addressButton_->setObjectName(QStringLiteral("addressButton"));
  queryEdit_->setObjectName(QStringLiteral("queryEdit"));
  queryEdit_->setMaxLength(kFingerQueryLimit);
  queryTokenBox_->setObjectName(QStringLiteral("queryTokenBox"));
  connectButton_->setObjectName(QStringLiteral("connectButton"));
  connectButton_->setDefault(true);

  const FingerSettings settings = ReadFingerSettings();
  serverBox_->setEditText(QString::fromStdString(settings.serverLocation));
  queryTokenBox_->setChecked(settings.queryToken);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(connectButton_);
  buttons->addWidget(closeButton());
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Send Request To:"), this), 0, 0);
  layout->addWidget(serverBox_, 0, 1);
  layout->addWidget(addressButton_, 0, 2);
  layout->addWidget(new QLabel(QStringLiteral("Query Specification:"), this), 1, 0);
  layout->addWidget(queryEdit_, 1, 1, 1, 2);
  layout->addWidget(queryTokenBox_, 2, 1, 1, 2);
  layout->addLayout(buttons, 3, 0, 1, 3);
  layout->addWidget(new QLabel(QStringLiteral("Reply"), this), 4, 0, 1, 3);
  layout->addWidget(replyBox(), 5, 0, 1, 3);
  layout->setRowStretch(5, 1);
  layout->setColumnStretch(1, 1);

  connect(addressButton_, &QPushButton::clicked, this, [this] { pickAddressInto(serverEdit()); });
  connect(connectButton_, &QPushButton::clicked, this, &CFingerView::connectToServer);
}

int CFingerView::helpContext() const { return CommandHelpContext(kCmdFinger); }

QLineEdit* CFingerView::serverEdit() const { return serverBox_->lineEdit(); }

void CFingerView::connectToServer() {
  const std::string server = serverEdit()->text().toStdString();
  if (server.empty()) {
    serverBox_->setFocus();
    return;
  }
  const std::string query = queryEdit_->text().toStdString();
  if (!IsSafeQueryText(query)) {
    QApplication::beep();
    queryEdit_->setFocus();
    return;
  }
  startQuery(server, FingerRequestLine(query, queryTokenBox_->isChecked()));
  // Busy means the request is on its way: only then is the server kept.
  if (isBusy()) serverBox_->rememberCurrentHost();
}

void CFingerView::setQueryControlsEnabled(bool enabled) {
  const std::initializer_list<QWidget*> controls{serverBox_, addressButton_, queryEdit_,
                                                 queryTokenBox_, connectButton_};
  for (QWidget* control : controls) control->setEnabled(enabled);
  connectButton_->setDefault(enabled);
}

void CFingerView::restoreIdleFocus() { queryEdit_->setFocus(); }

}  // namespace netrove
