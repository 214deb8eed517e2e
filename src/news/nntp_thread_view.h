#pragma once
// The article text pane: the fetched article as plain text, rot13 on its
// body or a selection, saving it to the group's file, printing it, a font of
// its own, and the starting point of follow-ups and cancels.
#include <QPlainTextEdit>
#include <optional>
#include <string>

#include "news/news_pane_host.h"

class QPrinter;

namespace netrove {

class CNNTPThreadView : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit CNNTPThreadView(INewsPaneHost& host, QWidget* parent = nullptr);

  // An ARTICLE or BODY came back: its text, or nothing when not available.
  void articleArrived(const std::optional<std::string>& text);
  // An article was asked for: whether it is the user's and whether its
  // header comes with it. They take effect when the text arrives.
  void articleRequested(bool own, bool headerIncluded);
  void openGroup(const std::string& group);
  void setServerName(const std::string& server) { server_ = server; }
  void clearArticle();

  // Commands.
  void rot13();
  void saveArticle();
  int printTo(QPrinter& printer) const;
  void setArticleFont();
  void includeArticle();
  void excludeArticle();
  void cancelArticle();

  bool hasArticle() const { return hasArticle_; }
  bool ownArticle() const { return own_; }
  const std::string& articleText() const { return text_; }

 private:
  void show(const std::string& text);

  INewsPaneHost& host_;
  std::string text_;  // as shown: MIME decoded, CR LF lines
  bool hasArticle_ = false;
  bool own_ = false;
  bool headerIncluded_ = false;
  bool requestedOwn_ = false;
  bool requestedHeader_ = true;
  std::string group_;
  std::string server_;
};

}  // namespace netrove
