#include "query/mail_customize_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <string>

#include "base/command_ids.h"
#include "query/mail_byte_limit.h"
#include "query/mail_settings.h"

namespace netrove {
namespace {

QGroupBox* Group(const char* caption, QWidget* parent,
                 std::initializer_list<std::pair<const char*, QLineEdit*>> rows) {
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
      incomingEdit_(addField(kIncomingMailValue, kMailFieldMaxBytes)) {
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
}

}  // namespace netrove
