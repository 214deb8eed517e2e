#pragma once
// The header form of a posting window: From and Reply-To lists built from
// the user's identity, and the edit fields of the other headers. The
// labels of the fields Send requires are red.
#include <QString>
#include <QWidget>

#include "news/news_article.h"

class QComboBox;
class QFormLayout;
class QLineEdit;
class QPushButton;

namespace netrove {

struct NewsSettings;

class CNNTPPostHeaders : public QWidget {
  Q_OBJECT

 public:
  explicit CNNTPPostHeaders(QWidget* parent = nullptr);

  // Fills the From and Reply-To lists and Organization from the identity.
  void loadIdentity(const NewsSettings& settings);
  // The header fields' part of the article (From ... Organization).
  NewsArticleFields fields() const;

  QComboBox* fromList() const { return from_; }
  QComboBox* replyToList() const { return replyTo_; }
  QLineEdit* subjectField() const { return subject_; }
  QLineEdit* newsgroupsField() const { return newsgroups_; }
  QLineEdit* followupToField() const { return followupTo_; }
  QLineEdit* distributionField() const { return distribution_; }
  QLineEdit* keywordsField() const { return keywords_; }
  QLineEdit* summaryField() const { return summary_; }
  QLineEdit* organizationField() const { return organization_; }
  QPushButton* sendButton() const { return send_; }

 signals:
  // A field changed by the user (not by loading).
  void edited();
  void sendRequested();

 private:
  QLineEdit* addField(QFormLayout* form, const QString& label, bool required);
  QComboBox* addList(QFormLayout* form, const QString& label, bool required);

  QComboBox* from_;
  QLineEdit* subject_;
  QLineEdit* newsgroups_;
  QComboBox* replyTo_;
  QLineEdit* followupTo_;
  QLineEdit* distribution_;
  QLineEdit* keywords_;
  QLineEdit* summary_;
  QLineEdit* organization_;
  QPushButton* send_;
};

}  // namespace netrove
