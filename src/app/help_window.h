#pragma once
// The help viewer: a small window that shows the HTML page of a help
// context id from the help folder, with the contents, the keyword index and
// help on help.
#include <QString>
#include <QWidget>
#include <map>
#include <optional>
#include <string>

class QLineEdit;
class QTextBrowser;

namespace netrove {

// The help folder: $NETROVE_HELP_DIR, else the source tree's docs/help for a
// program run from its build folder, else the installed data folder
// (share/netrove/help), found relative to the program or at its configured
// place.
QString HelpFolder();

class CHelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit CHelpWindow(QString folder, QWidget* parent = nullptr);

  void showContext(int contextId);
  void showContents();
  // The keyword index, filtered by a partial key (empty: every topic).
  void showIndex(const QString& key = {});
  void showUsingHelp();

  // The page on display ("ping.html"); empty for a generated page.
  QString currentPage() const;
  QTextBrowser* browser() const { return browser_; }

 private:
  void showPage(const QString& page);
  // The page's text without markup; nothing when the file is missing.
  std::optional<std::string> pageText(const QString& page);
  void present();

  QString folder_;
  QTextBrowser* browser_;
  QLineEdit* indexKey_;
  std::map<QString, std::optional<std::string>> pageTexts_;
};

}  // namespace netrove
