#pragma once
// A posting window: a new article to the open group, a follow-up to the
// article being read (quoted or not), or the cancel of one of the user's
// own articles. Send hands the article to the newsreader window that opened
// it and hides the posting window until the server's verdict arrives; the
// window comes back with its text whenever the article was not posted.
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "news/news_article.h"
#include "news/nntp_events.h"
#include "widgets/tool_view.h"

class QCloseEvent;

namespace netrove {

class CNNTPFramePost;
class IShellContext;
struct NewsSettings;

// Queues POST with the article for posting window `window`; false when
// nothing was queued (not connected, the connection ended).
using NewsPostSender = std::function<bool(std::string article, NntpWindow window)>;

// Texts of the posting windows.
inline constexpr const char* kIdentityRequiredText =
    "Before posting an article, the following information is required: Full name and e-mail "
    "address. To provide the information, do the following:\n\n(a) From the \"Tools\" menu, "
    "select \"Customize.\"\n(b) From the \"Newsreader\" tab, select the \"Preferences...\" "
    "button.\n(c) Select the \"User\" tab and provide the information.";
inline constexpr const char* kDoNotPostQuestion =
    "Are you sure you do not want to post this article?";
inline constexpr const char* kNotQueuedText =
    "The article could not be sent: the newsreader window is not connected to a news server.";
inline constexpr const char* kNotPostedText =
    "The article was not posted. It is still in this window and can be sent again.";

class CNNTPPostDoc : public CToolView {
  Q_OBJECT

 public:
  CNNTPPostDoc(CToolServices& services, const NewsSettings& identity, QObject* owner,
               NewsPostSender send, NewsPostMode mode, const std::string& group,
               const NewsPostArticle& article, QWidget* parent = nullptr);
  ~CNNTPPostDoc() override;

  int helpContext() const override;

  CNNTPFramePost* frame() const { return frame_; }
  NewsPostMode mode() const { return mode_; }
  NntpWindow windowId() const { return id_; }
  bool isModified() const { return modified_; }
  bool awaitsOutcome() const { return awaitingOutcome_; }
  // Where the first keystroke goes: the body when it was filled in.
  void focusStartField();

  // Send: checks the required fields, builds the article and hands it over.
  void send();
  // How this window's POST ended.
  void postOutcome(NntpPostOutcome outcome);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void fillForMode(const std::string& group, const NewsPostArticle& article);
  void focusFault(NewsArticleFault fault);
  QWidget* hostWindow();
  void hideUntilOutcome();
  void showAgain();
  void ownerGone();

  CNNTPFramePost* frame_;
  QPointer<QObject> owner_;
  NewsPostSender send_;
  const NewsPostMode mode_;
  const NntpWindow id_;
  std::string references_;
  std::string cancelId_;
  bool modified_ = false;
  bool awaitingOutcome_ = false;
};

// Opens a posting window hosted by the shell; nullptr, after telling the
// user what is missing, when the identity lacks the full name or address.
// `owner` is the newsreader pane that posts: once it is gone nothing can be
// sent and a window waiting for an outcome shows itself again.
QWidget* OpenNewsPostWindow(IShellContext& shell, QObject* owner, NewsPostSender send,
                            NewsPostMode mode, const std::string& group,
                            const NewsPostArticle& article = {});

// Any thread: hands a POST's outcome to the posting window `window` on the GUI
// thread; nothing happens when that window is gone.
void DeliverNewsPostOutcome(NntpWindow window, NntpPostOutcome outcome);

}  // namespace netrove
