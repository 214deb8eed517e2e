#include "transfer/ftp_dialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cerrno>

#include "base/settings_store.h"
#include "base/tool_message.h"
#include "transfer/ftp_passwords.h"
#include "widgets/address_book_dialog.h"

namespace netrove {
namespace {

constexpr int kMaxText = 260;
constexpr int kModeUserNoLogin = 1134;
constexpr int kModeOpen = 1135;
constexpr int kModeSite = 1136;
constexpr int kModeUserAfterLogin = 1137;
constexpr int kModePassive = 1138;

// OK only while there is something to send; Cancel is the default before.
void FollowChoice(bool chosen, QPushButton* ok, QPushButton* cancel) {
  ok->setEnabled(chosen);
  ok->setDefault(chosen);
  cancel->setDefault(!chosen);
}

// "Argument:", the field, and OK/Cancel below: the shape of every argument dialog.
void LayOutArgumentDialog(QDialog* dialog, QWidget* field, QPushButton* ok, QPushButton* cancel) {
  auto* layout = new QGridLayout(dialog);
  layout->addWidget(new QLabel(QStringLiteral("Argument:")), 0, 0);
  layout->addWidget(field, 0, 1);
  auto* buttons = new QDialogButtonBox;
  buttons->addButton(ok, QDialogButtonBox::AcceptRole);
  buttons->addButton(cancel, QDialogButtonBox::RejectRole);
  layout->addWidget(buttons, 1, 0, 1, 2);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
}

}  // namespace

CFtpArgumentDlg::CFtpArgumentDlg(const QString& title, QWidget* parent)
    : QDialog(parent),
      edit_(new QLineEdit),
      ok_(new QPushButton(QStringLiteral("OK"))),
      cancel_(new QPushButton(QStringLiteral("Cancel"))) {
  setWindowTitle(title);
  LayOutArgumentDialog(this, edit_, ok_, cancel_);
  connect(edit_, &QLineEdit::textChanged, this, &CFtpArgumentDlg::followText);
  followText({});
}

QString CFtpArgumentDlg::argument() const { return edit_->text(); }

void CFtpArgumentDlg::followText(const QString& text) {
  FollowChoice(!text.isEmpty(), ok_, cancel_);
}

CFtpHelpCommandDlg::CFtpHelpCommandDlg(QWidget* parent)
    : QDialog(parent),
      combo_(new QComboBox),
      ok_(new QPushButton(QStringLiteral("OK"))),
      cancel_(new QPushButton(QStringLiteral("Cancel"))) {
  setWindowTitle(QStringLiteral("FTP Help Command"));
  combo_->setEditable(true);
  combo_->lineEdit()->setMaxLength(4);
  for (const char* keyword :
       {"ABOR", "ACCT", "ALLO", "APPE", "CDUP", "CWD",  "DELE", "HELP", "LIST", "MKD",  "MODE",
        "NLST", "NOOP", "PASS", "PASV", "PORT", "PWD",  "QUIT", "REIN", "REST", "RETR", "RMD",
        "RNFR", "RNTO", "SITE", "SMNT", "STAT", "STOR", "STOU", "STRU", "SYST", "TYPE", "USER"})
    combo_->addItem(QString::fromLatin1(keyword));
  combo_->setCurrentIndex(0);
  LayOutArgumentDialog(this, combo_, ok_, cancel_);
  connect(combo_, &QComboBox::currentTextChanged, this,
          [this](const QString& text) { FollowChoice(!text.isEmpty(), ok_, cancel_); });
  FollowChoice(true, ok_, cancel_);
}

QString CFtpHelpCommandDlg::keyword() const { return combo_->currentText(); }

CFtpProxySettingsDlg::CFtpProxySettingsDlg(IMainWindowReporter& reporter, IPasswordStore& passwords,
                                           QWidget* parent)
    : QDialog(parent),
      reporter_(reporter),
      passwords_(passwords),
      address_(new QLineEdit),
      addressButton_(new QPushButton(QStringLiteral("Address..."))),
      port_(new QLineEdit),
      user_(new QLineEdit),
      password_(new QLineEdit),
      modes_(new QButtonGroup(this)) {
  setWindowTitle(QStringLiteral("FTP Proxy Settings"));
  address_->setMaxLength(kMaxText);
  port_->setMaxLength(5);
  port_->setValidator(new QIntValidator(0, 99999, port_));
  user_->setMaxLength(kMaxText);
  password_->setMaxLength(kMaxText);
  password_->setEchoMode(QLineEdit::Password);

  auto* proxy = new QGroupBox(QStringLiteral("Proxy"));
  auto* proxyLayout = new QGridLayout(proxy);
  proxyLayout->addWidget(new QLabel(QStringLiteral("Address:")), 0, 0);
  proxyLayout->addWidget(address_, 0, 1);
  proxyLayout->addWidget(addressButton_, 0, 2);
  proxyLayout->addWidget(new QLabel(QStringLiteral("Port:")), 1, 0);
  proxyLayout->addWidget(port_, 1, 1);
  auto* access = new QGroupBox(QStringLiteral("Modes of Access"));
  auto* accessLayout = new QVBoxLayout(access);
  const std::pair<int, const char*> labels[] = {
      {kModeUserNoLogin, "USER command no login to firewall."},
      {kModeOpen, "Proxy open to firewall."},
      {kModeSite, "SITE command after login to firewall."},
      {kModeUserAfterLogin, "USER command after login to firewall."},
      {kModePassive, "PASV Mode."}};
  for (const auto& [id, label] : labels) {
    auto* button = new QRadioButton(QString::fromLatin1(label));
    modes_->addButton(button, id);
    accessLayout->addWidget(button);
  }
  auto* login = new QGridLayout;
  login->addWidget(new QLabel(QStringLiteral("User ID:")), 0, 0);
  login->addWidget(user_, 0, 1);
  login->addWidget(new QLabel(QStringLiteral("Password:")), 1, 0);
  login->addWidget(password_, 1, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(proxy);
  layout->addWidget(access);
  layout->addLayout(login);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &CFtpProxySettingsDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(modes_, &QButtonGroup::idClicked, this, &CFtpProxySettingsDlg::followMode);
  connect(addressButton_, &QPushButton::clicked, this, &CFtpProxySettingsDlg::pickAddress);
  // Ports above the range become its top.
  connect(port_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (text.toUInt() > 65535) port_->setText(QStringLiteral("65535"));
  });
  load();
}

QRadioButton* CFtpProxySettingsDlg::modeButton(int mode) const {
  return qobject_cast<QRadioButton*>(modes_->button(mode));
}

void CFtpProxySettingsDlg::load() {
  if (const auto key = OpenToolKey("Proxy Settings", false)) {
    std::string address;
    key->ReadText("FTP Address", address);
    address_->setText(QString::fromStdString(address));
    std::uint32_t port = 0;
    key->ReadDword("FTP Port", port);
    if (port != 0) port_->setText(QString::number(port));
  }
  std::uint32_t mode = kModeUserNoLogin;
  std::string user;
  if (const auto key = OpenToolKey("FTP", false)) {
    key->ReadDword("Proxy Access Mode", mode);
    key->ReadText("Proxy User ID", user);
  }
  user_->setText(QString::fromStdString(user));
  if (const auto password = RecallFtpProxyPassword(proxyLogin(), passwords_))
    password_->setText(QString::fromStdString(*password));
  QRadioButton* button = modeButton(static_cast<int>(mode));
  (button != nullptr ? button : modeButton(kModePassive))->setChecked(true);
  followMode();
}

int CFtpProxySettingsDlg::checkedMode() const { return modes_->checkedId(); }

void CFtpProxySettingsDlg::followMode() {
  const int mode = checkedMode();
  const bool proxy = mode != kModePassive;
  const bool proxyLogin = mode == kModeSite || mode == kModeUserAfterLogin;
  address_->setEnabled(proxy);
  addressButton_->setEnabled(proxy);
  port_->setEnabled(proxy);
  user_->setEnabled(proxyLogin);
  password_->setEnabled(proxyLogin);
}

bool CFtpProxySettingsDlg::requireFilled(QLineEdit* edit) {
  if (!edit->isEnabled() || !edit->text().isEmpty()) return true;
  edit->setFocus();
  beep();
  return false;
}

void CFtpProxySettingsDlg::beep() { QApplication::beep(); }

void CFtpProxySettingsDlg::accept() {
  // The password may stay empty: without a keyring it is not kept between
  // sessions, and the FTP window asks for it when it logs in.
  for (QLineEdit* edit : {address_, port_, user_}) {
    if (!requireFilled(edit)) return;
  }
  if (auto key = CreateToolKey("Proxy Settings")) {
    key->WriteText("FTP Address", address_->text().toStdString());
    key->WriteDword("FTP Port", std::min(port_->text().toUInt(), 65535u));
  } else {
    reporter_.PostSystemError(errno);
  }
  if (auto key = CreateToolKey("FTP")) {
    key->WriteDword("Proxy Access Mode", static_cast<std::uint32_t>(checkedMode()));
    key->WriteText("Proxy User ID", user_->text().toStdString());
  } else {
    reporter_.PostSystemError(errno);
  }
  if (password_->isEnabled() && !password_->text().isEmpty())
    KeepFtpProxyPassword(proxyLogin(), password_->text().toStdString(), passwords_);
  QDialog::accept();
}

FtpLogin CFtpProxySettingsDlg::proxyLogin() const {
  FtpLogin login;
  login.proxyHost = address_->text().toStdString();
  if (const unsigned port = port_->text().toUInt(); port != 0)
    login.proxyPort = static_cast<std::uint16_t>(std::min(port, 65535u));
  login.proxyUser = user_->text().toStdString();
  return login;
}

void CFtpProxySettingsDlg::pickAddress() {
  if (const auto address = PickAddressFromBook(this)) address_->setText(*address);
}

}  // namespace netrove
