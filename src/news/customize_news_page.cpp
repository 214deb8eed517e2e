#include "news/customize_news_page.h"

#include <QCheckBox>
#include <QComboBox>
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
      tls_(new QComboBox(this)),
      user_(new QLineEdit(this)),
      plainSignIn_(new QCheckBox(QStringLiteral("Send the password without TLS"), this)),
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
  tls_->addItems({QStringLiteral("Plain"), QStringLiteral("TLS if offered"),
                  QStringLiteral("TLS required"), QStringLiteral("TLS from the start (port 563)")});
  layout->addWidget(new QLabel(QStringLiteral("Security"), this), 3, 0);
  layout->addWidget(tls_, 3, 1);
  user_->setMaxLength(static_cast<int>(kNewsFullNameLimit));
  user_->setPlaceholderText(QStringLiteral("none: no sign-in"));
  layout->addWidget(new QLabel(QStringLiteral("User name"), this), 4, 0);
  layout->addWidget(user_, 4, 1);
  layout->addWidget(plainSignIn_, 5, 1, 1, 2);
  timeout_->setRange(0, kLongestReplyTimeout);
  timeout_->setSuffix(QStringLiteral(" s"));
  timeout_->setSpecialValueText(QStringLiteral("wait for ever"));
  layout->addWidget(new QLabel(QStringLiteral("Reply time-out"), this), 6, 0);
  layout->addWidget(timeout_, 6, 1);
  layout->addWidget(createSizeAndPositionBox(), 7, 0, 1, 3);
  layout->addWidget(preferences_, 8, 2);
  layout->setRowStretch(9, 1);
  layout->setColumnStretch(1, 1);

  bindTextField(server_, kNewsServerLocation);
  bindTextField(user_, kNewsSignInUser);
  bindChoice(tls_, kNewsTlsMode, {0, 1, 2, 3});
  bindFlag(plainSignIn_, kNewsPlainSignIn);
  // The port follows a change to or from TLS from the start while it is
  // the other choice's usual one.
  connect(tls_, &QComboBox::currentIndexChanged, this, [this](int position) {
    const auto mode = static_cast<TlsMode>(std::clamp(position, 0, 3));
    const std::uint32_t usual = NewsDefaultPort(mode);
    if (storedPort_ == kNewsDefaultPort || storedPort_ == kNewsTlsPort) setPort(usual);
    default_->setEnabled(storedPort_ != usual);
  });
  connect(address_, &QPushButton::clicked, this, &CCustomizeNNTP::pickServer);
  connect(port_, &QLineEdit::textEdited, this, &CCustomizeNNTP::portEdited);
  connect(timeout_, &QSpinBox::valueChanged, this, [this](int seconds) {
    if (!writeNumber(kNewsReplyTimeout, static_cast<std::uint32_t>(seconds))) loadSettings();
  });
  connect(default_, &QPushButton::clicked, this, [this] { setPort(usualPort()); });
  connect(preferences_, &QPushButton::clicked, this,
          [this] { ShowNewsPreferences(this, reportFailure_); });
}

void CCustomizeNNTP::loadSettings() {
  const NewsSettings settings = ReadNewsSettings();
  loadTextField(server_, settings.serverLocation);
  loadTextField(user_, settings.signInUser);
  loadChoice(tls_, static_cast<std::uint32_t>(settings.tlsMode));
  loadCheckBox(plainSignIn_, kNewsPlainSignIn);
  storedPort_ = settings.portNumber;
  const QSignalBlocker blocker(port_);
  port_->setText(QString::number(storedPort_));
  default_->setEnabled(storedPort_ != usualPort());
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
  setPort(port == 0 || port > 65535 ? usualPort() : port);
}

void CCustomizeNNTP::setPort(std::uint32_t port) {
  if (!writeNumber(kNewsPortNumber, port)) port = storedPort_;
  storedPort_ = port;
  const QString shown = QString::number(port);
  if (port_->text() != shown) {
    const QSignalBlocker blocker(port_);
    port_->setText(shown);
  }
  default_->setEnabled(port != usualPort());
}

std::uint32_t CCustomizeNNTP::usualPort() const {
  return NewsDefaultPort(static_cast<TlsMode>(std::clamp(tls_->currentIndex(), 0, 3)));
}

}  // namespace netrove
