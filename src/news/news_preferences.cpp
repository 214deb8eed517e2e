#include "news/news_preferences.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstring>

#include "news/news_error_box.h"
#include "news/news_preference_pages.h"

namespace netrove {

CCustomizeNNTPPreferences::CCustomizeNNTPPreferences(NewsStoreFailure reportFailure,
                                                     QWidget* parent)
    : QDialog(parent),
      tabs_(new QTabWidget(this)),
      articles_(new CCustomizeNNTPArticle(reportFailure, this)),
      newsgroups_(new CCustomizeNNTPNewsgroups(reportFailure, this)),
      posting_(new CCustomizeNNTPPostingHeaders(reportFailure, this)),
      user_(new CCustomizeNNTPUser(reportFailure, this)),
      windowLayout_(new CCustomizeNNTPWindowLayout(reportFailure, this)) {
  setWindowTitle(QStringLiteral("Preferences"));
  tabs_->addTab(articles_, QStringLiteral("Articles"));
  tabs_->addTab(newsgroups_, QStringLiteral("Newsgroups"));
  tabs_->addTab(posting_, QStringLiteral("Posting"));
  tabs_->addTab(user_, QStringLiteral("User"));
  tabs_->addTab(windowLayout_, QStringLiteral("Window Layout"));
  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
          &CCustomizeNNTPPreferences::apply);
}

void CCustomizeNNTPPreferences::apply() { windowLayout_->apply(); }

void CCustomizeNNTPPreferences::accept() {
  // A field still being edited is written as leaving it would.
  if (QWidget* focused = focusWidget()) focused->clearFocus();
  apply();
  QDialog::accept();
}

void ShowNewsPreferences(QWidget* parent, NewsStoreFailure reportFailure) {
  if (!reportFailure) {
    reportFailure = [parent](int error) {
      ShowNewsError(parent, QString::fromLocal8Bit(std::strerror(error)));
    };
  }
  CCustomizeNNTPPreferences sheet(std::move(reportFailure), parent);
  sheet.exec();
}

}  // namespace netrove
