#include "query/mail_customize_page.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <string>

#include "base/command_ids.h"
#include "query/mail_byte_limit.h"
#include "query/mail_settings.h"

namespace netrove {
namespace {

constexpr TlsMode kSecurityChoices[] = {TlsMode::Off, TlsMode::IfOffered, TlsMode::Required,
                                        TlsMode::Implicit};
constexpr const char* kSecurityTexts[] = {"Plain text", "TLS if offered (STARTTLS)",
                                          "TLS required (STARTTLS)", "TLS from the start"};

QGroupBox* Group(const char* caption, QWidget* parent,
                 std::initializer_list<std::pair<const char*, QWidget*>> rows) {
  auto* group = new QGroupBox(QString::fromLatin1(caption), parent);
  auto* form = new QFormLayout(group);
  for (const auto& [label, edit] : rows) form->addRow(QString::fromLatin1(label), edit);
  return group;
}

}  // namespace

CCustomizeMail::CCustomizeMail(QWidget* parent)
    : CCustomizePage(std::string(kMailToolName), parent),
      nameEdit_(addField(kMailNameValue, kMailNameMaxBytes)),
      addressEdit_(addField(kMailAddressValue, kMailFieldMaxBytes)),
      userNameEdit_(addField(kMailUserNameValue, kMailFieldMaxBytes)),
      outgoingEdit_(addField(kOutgoingMailValue, kMailFieldMaxBytes)),
      incomingEdit_(addField(kIncomingMailValue, kMailFieldMaxBytes)),
      portSpin_(new QSpinBox(this)),
      securityBox_(new QComboBox(this)) {
  portSpin_->setObjectName(QStringLiteral("outgoingPort"));
  portSpin_->setRange(0, 65535);
  portSpin_->setSpecialValueText(QStringLiteral("Default"));
  securityBox_->setObjectName(QStringLiteral("outgoingSecurity"));
  for (const char* text : kSecurityTexts) securityBox_->addItem(QString::fromLatin1(text));
  connect(portSpin_, &QSpinBox::valueChanged, this, [](int port) { WriteMailPort(port); });
  connect(securityBox_, &QComboBox::activated, this, [](int index) {
    if (index >= 0 && index < static_cast<int>(std::size(kSecurityChoices)))
      WriteMailSetting(kOutgoingSecurityValue, TlsModeName(kSecurityChoices[index]));
  });
  auto* note = new QLabel(QString::fromLatin1(kMailPageNote), this);
  note->setTextFormat(Qt::PlainText);
  note->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addWidget(
      Group("Identity", this, {{"Name", nameEdit_}, {"E-Mail Address", addressEdit_}}));
  layout->addWidget(Group("Mail Server", this,
                          {{"User Name", userNameEdit_},
                           {"Outgoing Mail", outgoingEdit_},
                           {"Outgoing Port", portSpin_},
                           {"Security", securityBox_},
                           {"Incoming Mail", incomingEdit_}}));
  layout->addStretch();
}

int CCustomizeMail::helpContext() const { return CommandHelpContext(kCmdMail); }

QLineEdit* CCustomizeMail::addField(std::string_view valueName, std::size_t maxBytes) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(
      QString::fromLatin1(valueName.data(), static_cast<qsizetype>(valueName.size())));
  new CByteLimitValidator(edit, maxBytes);
  // Written when the field loses the focus (or takes Return) after a change.
  connect(edit, &QLineEdit::editingFinished, this, [edit, name = std::string(valueName)] {
    WriteMailSetting(name, edit->text().toUtf8().toStdString());
  });
  return edit;
}

void CCustomizeMail::loadSettings() {
  const MailSettings settings = ReadMailSettings().value_or(MailSettings{});
  nameEdit_->setText(QString::fromStdString(settings.name));
  addressEdit_->setText(QString::fromStdString(settings.address));
  userNameEdit_->setText(QString::fromStdString(settings.userName));
  outgoingEdit_->setText(QString::fromStdString(settings.outgoingMail));
  incomingEdit_->setText(QString::fromStdString(settings.incomingMail));
  {
    const QSignalBlocker quiet(portSpin_);  // loading is no change to write back
    portSpin_->setValue(settings.port);
  }
  for (std::size_t i = 0; i < std::size(kSecurityChoices); ++i)
    if (kSecurityChoices[i] == settings.tls) securityBox_->setCurrentIndex(static_cast<int>(i));
}

}  // namespace netrove
