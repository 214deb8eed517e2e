#include "news/news_post_headers.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "news/news_settings.h"

namespace netrove {
namespace {

void FillList(QComboBox* list, const std::vector<std::string>& choices, std::uint32_t chosen) {
  const QSignalBlocker blocker(list);
  list->clear();
  for (const std::string& choice : choices) list->addItem(QString::fromStdString(choice));
  list->setCurrentIndex(chosen < choices.size() ? static_cast<int>(chosen) : 0);
}

std::string Text(const QLineEdit* field) { return field->text().toStdString(); }

}  // namespace

CNNTPPostHeaders::CNNTPPostHeaders(QWidget* parent) : QWidget(parent) {
  auto* columns = new QHBoxLayout(this);
  auto* form = new QFormLayout;
  columns->addLayout(form, 1);
  from_ = addList(form, QStringLiteral("From"), true);
  subject_ = addField(form, QStringLiteral("Subject"), true);
  newsgroups_ = addField(form, QStringLiteral("Newsgroups"), true);
  replyTo_ = addList(form, QStringLiteral("Reply-To"), false);
  followupTo_ = addField(form, QStringLiteral("Followup-To"), false);
  distribution_ = addField(form, QStringLiteral("Distribution"), false);
  keywords_ = addField(form, QStringLiteral("Keywords"), false);
  summary_ = addField(form, QStringLiteral("Summary"), false);
  organization_ = addField(form, QStringLiteral("Organization"), false);
  send_ = new QPushButton(QStringLiteral("&Send"), this);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(send_);
  buttons->addStretch();
  columns->addLayout(buttons);
  connect(send_, &QPushButton::clicked, this, &CNNTPPostHeaders::sendRequested);
}

QLineEdit* CNNTPPostHeaders::addField(QFormLayout* form, const QString& label, bool required) {
  auto* field = new QLineEdit(this);
  auto* caption = new QLabel(label, this);
  caption->setBuddy(field);
  if (required) caption->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0)"));
  form->addRow(caption, field);
  connect(field, &QLineEdit::textEdited, this, &CNNTPPostHeaders::edited);
  return field;
}

QComboBox* CNNTPPostHeaders::addList(QFormLayout* form, const QString& label, bool required) {
  auto* list = new QComboBox(this);
  auto* caption = new QLabel(label, this);
  caption->setBuddy(list);
  if (required) caption->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0)"));
  form->addRow(caption, list);
  connect(list, &QComboBox::activated, this, &CNNTPPostHeaders::edited);
  return list;
}

void CNNTPPostHeaders::loadIdentity(const NewsSettings& settings) {
  FillList(from_, NewsFromChoices(settings.userFullName, settings.userAddress), settings.userFrom);
  FillList(replyTo_, NewsReplyToChoices(settings.userFullName, settings.userAddress),
           settings.userReplyTo);
  organization_->setText(QString::fromStdString(settings.userOrganization));
}

NewsArticleFields CNNTPPostHeaders::fields() const {
  NewsArticleFields fields;
  fields.from = from_->currentText().toStdString();
  fields.subject = Text(subject_);
  fields.newsgroups = Text(newsgroups_);
  fields.replyTo = replyTo_->currentText().toStdString();
  fields.followupTo = Text(followupTo_);
  fields.distribution = Text(distribution_);
  fields.keywords = Text(keywords_);
  fields.summary = Text(summary_);
  fields.organization = Text(organization_);
  return fields;
}

}  // namespace netrove
