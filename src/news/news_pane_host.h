#pragma once
// The newsreader window as its panes see it. The window owns the connection
// and passes what one pane does on to the others, so a pane knows only this
// and never another pane.
#include <optional>
#include <string>

#include "news/news_article.h"
#include "news/nntp_events.h"

namespace netrove {

class CToolServices;
class IMainWindowReporter;
class INewsDialogs;

class INewsPaneHost {
 public:
  virtual INewsDialogs& dialogs() const = 0;
  virtual IMainWindowReporter& reporter() = 0;
  virtual CToolServices& toolServices() = 0;
  virtual void updateCommands() = 0;

  // The connection.
  virtual bool connected() const = 0;
  // A command is outstanding.
  virtual bool clientBusy() const = 0;
  virtual const std::string& serverName() const = 0;
  // False when nothing was queued.
  virtual bool queueGroupList() = 0;
  virtual void openGroup(const std::string& group) = 0;
  virtual void walk(NntpWalk walk) = 0;
  virtual void fetch(const std::string& id, bool bodyOnly) = 0;
  // A posting window for `mode` to `newsgroups`, about `article` (a
  // follow-up or cancel); what it sends goes through this window.
  virtual void openPostWindow(NewsPostMode mode, const NewsPostArticle& article,
                              const std::string& newsgroups) = 0;

  // Between the panes.
  virtual void setGroupCount(const std::string& group, long count) = 0;
  virtual void lowerGroupCount(const std::string& group, long by) = 0;
  // Articles were marked read: the newsrc is written a short while later.
  virtual void readMarksChanged() = 0;
  // The group list shows other groups: the open group and article go.
  virtual void groupDisplayChanged() = 0;
  // The article list asked for an article: whether it is the user's and
  // whether its header comes with it.
  virtual void articleRequested(bool own, bool headerIncluded) = 0;
  // The text pane has shown the article, or said it is not available.
  virtual void articleShown(bool available) = 0;
  // From the text pane: a follow-up quoting `text` (or not), or a cancel.
  virtual void compose(std::optional<std::string> text, bool cancel) = 0;

 protected:
  ~INewsPaneHost() = default;
};

}  // namespace netrove
