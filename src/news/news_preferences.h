#pragma once
// The newsreader's "Preferences" sheet: Articles, Newsgroups, Posting, User
// and Window Layout. Values are written as they change; OK and Apply also
// write the window layout.
#include <QDialog>

#include "news/news_settings_page.h"

class QTabWidget;

namespace netrove {

class CCustomizeNNTPArticle;
class CCustomizeNNTPNewsgroups;
class CCustomizeNNTPPostingHeaders;
class CCustomizeNNTPUser;
class CCustomizeNNTPWindowLayout;

class CCustomizeNNTPPreferences : public QDialog {
  Q_OBJECT

 public:
  CCustomizeNNTPPreferences(NewsStoreFailure reportFailure, QWidget* parent = nullptr);

  QTabWidget* tabs() const { return tabs_; }
  CCustomizeNNTPArticle* articlesPage() const { return articles_; }
  CCustomizeNNTPNewsgroups* newsgroupsPage() const { return newsgroups_; }
  CCustomizeNNTPPostingHeaders* postingPage() const { return posting_; }
  CCustomizeNNTPUser* userPage() const { return user_; }
  CCustomizeNNTPWindowLayout* windowLayoutPage() const { return windowLayout_; }

  void apply();
  void accept() override;

 private:
  QTabWidget* tabs_;
  CCustomizeNNTPArticle* articles_;
  CCustomizeNNTPNewsgroups* newsgroups_;
  CCustomizeNNTPPostingHeaders* posting_;
  CCustomizeNNTPUser* user_;
  CCustomizeNNTPWindowLayout* windowLayout_;
};

// Runs the sheet modally. Without `reportFailure` a store failure is shown
// in an error box.
void ShowNewsPreferences(QWidget* parent, NewsStoreFailure reportFailure = {});

}  // namespace netrove
