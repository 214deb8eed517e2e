#include "news/customize_news_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>

#include "news/news_preferences.h"
#include "news/news_settings.h"
#include "widgets/address_book_dialog.h"

namespace netrove {
namespace {

constexpr int kPortDigits = 5;
constexpr int kLongestReplyTimeout = 86400;

}  // namespace

CCustomizeNNTP::CCustomizeNNTP(NewsStoreFailure reportFailure, QWidget* parent)
    : CNewsSettingsPage(reportFailure, parent),
      server_(new QLineEdit(this)),
      port_(new QLineEdit(this)),
      timeout_(new QSpinBox(this)),
      address_(new QPushButton(QStringLiteral("Address..."), this)),
      default_(new QPushButton(QStringLiteral("Default"), this)),
      preferences_(new QPushButton(QStringLiteral("Preferences..."), this)),
      reportFailure_(std::move(reportFailure)) {
  server_->setMaxLength(static_cast<int>(kNewsPathLimit));
  port_->setMaxLength(kPortDigits);
  port_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), port_));

  auto* layout = new QGridLayout(this);
  layout->addWidget(createNote(QString::fromLatin1(kNewsreaderPageNote)), 0, 0, 1, 3);
  layout->addWidget(new QLabel(QStringLiteral("NNTP Server"), this), 1, 0);
  layout->addWidget(server_, 1, 1);
  layout->addWidget(address_, 1, 2);
  layout->addWidget(new QLabel(QStringLiteral("Port"), this), 2, 0);
  layout->addWidget(port_, 2, 1);
  layout->addWidget(default_, 2, 2);
  timeout_->setRange(0, kLongestReplyTimeout);
  timeout_->setSuffix(QStringLiteral(" s"));
  timeout_->setSpecialValueText(QStringLiteral("wait for ever"));
  layout->addWidget(new QLabel(QStringLiteral("Reply time-out"), this), 3, 0);
  layout->addWidget(timeout_, 3, 1);
  layout->addWidget(createSizeAndPositionBox(), 4, 0, 1, 3);
  layout->addWidget(preferences_, 5, 2);
  layout->setRowStretch(6, 1);
  layout->setColumnStretch(1, 1);

  bindTextField(server_, kNewsServerLocation);
  connect(address_, &QPushButton::clicked, this, &CCustomizeNNTP::pickServer);
  connect(port_, &QLineEdit::textEdited, this, &CCustomizeNNTP::portEdited);
  connect(timeout_, &QSpinBox::valueChanged, this, [this](int seconds) {
    if (!writeNumber(kNewsReplyTimeout, static_cast<std::uint32_t>(seconds))) loadSettings();
  });
  connect(default_, &QPushButton::clicked, this, [this] { setPort(kNewsDefaultPort); });
  connect(preferences_, &QPushButton::clicked, this,
          [this] { ShowNewsPreferences(this, reportFailure_); });
}

void CCustomizeNNTP::loadSettings() {
  const NewsSettings settings = ReadNewsSettings();
  loadTextField(server_, settings.serverLocation);
  storedPort_ = settings.portNumber;
  const QSignalBlocker blocker(port_);
  port_->setText(QString::number(storedPort_));
  default_->setEnabled(storedPort_ != kNewsDefaultPort);
  const QSignalBlocker timeoutBlocker(timeout_);
  timeout_->setValue(
      static_cast<int>(std::min<std::uint32_t>(settings.replyTimeout, kLongestReplyTimeout)));
}

void CCustomizeNNTP::pickServer() {
  const auto picked = PickAddressFromBook(this);
  if (!picked) return;
  server_->setText(*picked);
  writeTextField(server_);
}

void CCustomizeNNTP::portEdited(const QString& text) {
  if (text.isEmpty()) return;  // being retyped
  const std::uint32_t port = text.toUInt();
  // No port 0 and none past 65535: the default stands in at once.
  setPort(port == 0 || port > 65535 ? kNewsDefaultPort : port);
}

void CCustomizeNNTP::setPort(std::uint32_t port) {
  if (!writeNumber(kNewsPortNumber, port)) port = storedPort_;
  storedPort_ = port;
  const QString shown = QString::number(port);
  if (port_->text() != shown) {
    const QSignalBlocker blocker(port_);
    port_->setText(shown);
  }
  default_->setEnabled(port != kNewsDefaultPort);
}

}  // namespace netrove
