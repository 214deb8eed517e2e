#pragma once
// The article list pane: the headers of the open group, filed into threads,
// shown all at once (flat, newest first) or one thread at a time. Opening an
// article marks it read, also where it was cross-posted, and has the text
// pane show it. A timer can fetch new headers every few minutes.
#include <QTimer>
#include <QTreeWidget>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "news/article_threads.h"
#include "news/news_pane_host.h"

namespace netrove {

class CNewsgroup;

// The article a follow-up or a cancel refers to.
struct OpenedArticle {
  std::string articleKey;  // the follow-up's References
  std::string messageId;
  std::string subject;
  std::string from;
  bool own = false;
  FollowUpTarget followUp;
};

class CNNTPArticleView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit CNNTPArticleView(INewsPaneHost& host, QWidget* parent = nullptr);
  ~CNNTPArticleView() override;

  // What the connection said.
  void setPostingAllowed(bool allowed) { postingAllowed_ = allowed; }
  void groupSelected(const NntpGroupCounts& counts, bool refreshed);
  void groupUnavailable(NntpGroupProblem problem);
  void fileHeaders(const std::vector<NntpHeaderBlock>& headers, int step);
  // A group is being opened: false when it is the one shown already.
  bool openGroup(const std::string& group, const std::string& server);
  // The connection ended (true) or the group list changed its display.
  void connectionClosed(bool connectionEnded);
  void startCheckTimer();
  bool checkTimerRunning() const { return checkTimer_.isActive(); }
  void checkForNew();

  // Commands.
  void catchUp();
  void catchUpThread();
  void toggleThreaded();
  void nextThread();
  void previousThread();
  void retrievePrevious();
  void retrieveNew();
  void newArticle();
  void toggleFullRowSelection();
  void openArticleAt(int row);
  // From the text pane: a follow-up quoting `text` (or not), or a cancel.
  void compose(std::optional<std::string> text, bool cancel);

  // The text pane's article arrived, or was not available.
  void articleArrived(bool available);

  bool flatMode() const { return flat_; }
  bool postingAllowed() const { return postingAllowed_; }
  bool groupOpen() const { return !group_.empty(); }
  const std::string& groupName() const { return group_; }
  bool fullRowSelection() const { return selectionBehavior() == QAbstractItemView::SelectRows; }
  const std::optional<OpenedArticle>& shownArticle() const { return shown_; }
  // The article number of a row.
  long numberAt(int row) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  long headersToFetch(long estimated);
  // The numbers filed for the open group: a walk passes them by.
  std::set<long> knownNumbers();
  void refill();
  // Without stored widths, the first articles shown size the columns to
  // their content; the Subject column gets the room left.
  void fitColumnsOnce();
  // `depth` replies deep (-1: the flat list), at row `at`.
  void addRow(const ArticleRecord& record, int depth, int at);
  void addPlaceholderRow(int depth);
  void stepThread(int by);
  void recolour();
  void retrieve(bool previous);
  void walkFrom(bool previous, long count);
  // Runs `work` on the open group (nullptr when it is gone).
  template <class Work>
  auto withGroup(Work work);

  INewsPaneHost& host_;
  bool postingAllowed_ = false;
  long first_ = 0;
  long last_ = 0;
  bool flat_ = true;
  std::string group_;
  std::string server_;
  std::optional<std::string> currentThread_;  // an article id of the thread shown
  QColor unreadColour_;
  QColor readColour_;
  bool fitsColumns_ = false;
  QTimer checkTimer_;
  std::optional<OpenedArticle> pending_;
  std::optional<OpenedArticle> shown_;
};

}  // namespace netrove
