#include "transfer/customize_ftp_page.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cerrno>

#include "base/command_ids.h"
#include "base/settings_store.h"
#include "base/tool_message.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_dialogs.h"
#include "transfer/ftp_folder_job.h"
#include "transfer/ftp_tls_choice.h"
#include "widgets/keyring_passwords.h"

namespace netrove {
namespace {

constexpr std::uint32_t kWellKnownPort = 21;
constexpr const char* kFtpKey = "FTP";

QGroupBox* Group(const QString& title, std::initializer_list<QWidget*> controls) {
  auto* group = new QGroupBox(title);
  auto* layout = new QHBoxLayout(group);
  for (QWidget* control : controls) layout->addWidget(control);
  layout->addStretch();
  return group;
}

}  // namespace

CCustomizeFTP::CCustomizeFTP(IMainWindowReporter& reporter, QWidget* parent)
    : CCustomizePage(kFtpKey, parent),
      reporter_(reporter),
      editor_(new QLineEdit),
      browse_(new QPushButton(QStringLiteral("Browse..."))),
      bell_(new QCheckBox(QStringLiteral("Beep after every file transfer."))),
      verbose_(new QCheckBox(QStringLiteral("Verbose mode."))),
      folderStop_(new QCheckBox(QStringLiteral("Stop a folder transfer at its first failure."))),
      port_(new QLineEdit),
      wellKnown_(new QPushButton(QStringLiteral("Set to Well-Known Port"))),
      timeout_(new QSpinBox),
      tls_(new CFtpTlsChoice(&reporter)),
      proxy_(new QCheckBox(QStringLiteral("Connect through a proxy server."))),
      settings_(new QPushButton(QStringLiteral("Settings..."))) {
  editor_->setMaxLength(260);
  port_->setMaxLength(5);
  timeout_->setRange(0, 86400);
  timeout_->setSuffix(QStringLiteral(" s"));
  timeout_->setSpecialValueText(QStringLiteral("none"));
  timeout_->setToolTip(
      QStringLiteral("How long the server may take over a whole reply, and a data connection "
                     "over ending after it; 0: no limit."));
  auto* options = new QGroupBox(QStringLiteral("Options"));
  auto* optionsLayout = new QVBoxLayout(options);
  optionsLayout->addWidget(bell_);
  optionsLayout->addWidget(verbose_);
  optionsLayout->addWidget(folderStop_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Group(QStringLiteral("Window Settings"), {createSizeAndPositionBox()}));
  layout->addWidget(
      Group(QStringLiteral("Editor"), {new QLabel(QStringLiteral("Location")), editor_, browse_}));
  layout->addWidget(options);
  layout->addWidget(Group(QStringLiteral("FTP Server"),
                          {new QLabel(QStringLiteral("Port Number")), port_, wellKnown_,
                           new QLabel(QStringLiteral("Reply Time-out")), timeout_,
                           new QLabel(QStringLiteral("Security")), tls_}));
  layout->addWidget(Group(QStringLiteral("Proxy Server"), {proxy_, settings_}));
  layout->addStretch();

  bindCheckBox(bell_, "Bell");
  bindCheckBox(verbose_, "Verbose");
  bindCheckBox(folderStop_, kFtpFolderStopValue);
  bindCheckBox(proxy_, "Proxy Server", [this](bool on) { followProxy(on); });
  connect(editor_, &QLineEdit::editingFinished, this, &CCustomizeFTP::writeEditor);
  connect(browse_, &QPushButton::clicked, this, &CCustomizeFTP::browseEditor);
  connect(port_, &QLineEdit::textChanged, this, &CCustomizeFTP::checkPort);
  connect(port_, &QLineEdit::editingFinished, this, &CCustomizeFTP::storePort);
  connect(wellKnown_, &QPushButton::clicked, this, &CCustomizeFTP::setWellKnownPort);
  connect(settings_, &QPushButton::clicked, this, &CCustomizeFTP::runProxySettings);
  connect(timeout_, &QSpinBox::valueChanged, this, &CCustomizeFTP::storeTimeout);
}

int CCustomizeFTP::helpContext() const { return CommandHelpContext(kCmdFtp); }

void CCustomizeFTP::loadSettings() {
  const auto key = OpenToolKey(kFtpKey, false);
  std::string editor;
  if (key) key->ReadText("Editor", editor);
  editor_->setText(QString::fromStdString(editor));
  loadCheckBox(bell_, "Bell");
  loadCheckBox(verbose_, "Verbose");
  loadCheckBox(folderStop_, kFtpFolderStopValue);
  loadCheckBox(proxy_, "Proxy Server");
  port_->setText(QString::number(readDword("Port Number", kWellKnownPort)));
  {
    const QSignalBlocker blocker(timeout_);
    timeout_->setValue(static_cast<int>(
        readDword("Reply Timeout", static_cast<std::uint32_t>(kFtpDefaultReplyTimeout.count()))));
  }
  tls_->load();
  followProxy(proxy_->isChecked());
  if (!key) {
    settings_->setEnabled(false);
    wellKnown_->setEnabled(false);
  }
}

void CCustomizeFTP::writeEditor() {
  auto key = CreateToolKey(kFtpKey);
  if (!key || !key->WriteText("Editor", editor_->text().toStdString()))
    reporter_.PostSystemError(errno);
}

QString CCustomizeFTP::chooseEditor() {
  return QFileDialog::getOpenFileName(this, QStringLiteral("Select an Editor"), {},
                                      QStringLiteral("All Files (*)"));
}

void CCustomizeFTP::browseEditor() {
  const QString chosen = chooseEditor();
  if (chosen.isEmpty()) return;
  editor_->setText(chosen);
  writeEditor();
}

// Anything that is not a port becomes the well-known one at once.
void CCustomizeFTP::checkPort(const QString& text) {
  bool number = false;
  const uint port = text.toUInt(&number);
  if (!number || port == 0 || port > 65535) {
    const QSignalBlocker blocker(port_);
    port_->setText(QString::number(kWellKnownPort));
  }
  wellKnown_->setEnabled(port_->isEnabled() && port_->text().toUInt() != kWellKnownPort);
}

void CCustomizeFTP::storePort() {
  const std::uint32_t stored = readDword("Port Number", kWellKnownPort);
  const std::uint32_t port = port_->text().toUInt();
  if (port == stored) return;
  if (!writeDword("Port Number", port)) {
    reporter_.PostSystemError(errno);
    port_->setText(QString::number(stored));
  }
}

void CCustomizeFTP::storeTimeout(int seconds) {
  if (!writeDword("Reply Timeout", static_cast<std::uint32_t>(seconds)))
    reporter_.PostSystemError(errno);
}

void CCustomizeFTP::setWellKnownPort() {
  if (!writeDword("Port Number", kWellKnownPort)) {
    reporter_.PostSystemError(errno);
    return;
  }
  port_->setText(QString::number(kWellKnownPort));
  wellKnown_->setEnabled(false);
  port_->setFocus();
}

void CCustomizeFTP::followProxy(bool on) {
  settings_->setEnabled(on);
  port_->setEnabled(!on);
  wellKnown_->setEnabled(!on && port_->text().toUInt() != kWellKnownPort);
}

void CCustomizeFTP::runProxySettings() {
  CFtpProxySettingsDlg dialog(reporter_, DesktopPasswords(), this);
  dialog.exec();
}

}  // namespace netrove
