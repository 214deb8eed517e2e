#include "news/news_post_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <map>

#include "base/command_ids.h"
#include "base/product.h"
#include "news/news_error_box.h"
#include "news/news_post_frame.h"
#include "news/news_post_headers.h"
#include "news/news_settings.h"
#include "widgets/message_boxes.h"
#include "widgets/shell_context.h"

namespace netrove {
namespace {

const QString kPostTypeName = QStringLiteral("NNTPPost");

// The open posting windows by id; touched on the GUI thread only.
std::map<NntpWindow, QPointer<CNNTPPostDoc>>& OpenPostWindows() {
  static std::map<NntpWindow, QPointer<CNNTPPostDoc>> windows;
  return windows;
}

// Ids are never reused, so a late outcome cannot reach a newer window; they
// start far above small numbers a newsreader window might use for itself.
NntpWindow NextPostWindowId() {
  static NntpWindow next = NntpWindow{1} << 40;
  return next++;
}

QString ProductCaption() { return QString::fromUtf8(kProductTitle.data(), kProductTitle.size()); }

// The editor ends lines with LF; the texts built for it use CR LF.
QString EditorText(const std::string& text) {
  return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

CNNTPPostDoc::CNNTPPostDoc(CToolServices& services, const NewsSettings& identity, QObject* owner,
                           NewsPostSender send, NewsPostMode mode, const std::string& group,
                           const NewsPostArticle& article, QWidget* parent)
    : CToolView(services, parent),
      frame_(new CNNTPFramePost(this)),
      owner_(owner),
      send_(std::move(send)),
      mode_(mode),
      id_(NextPostWindowId()) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(frame_);
  setDocumentTitle(QStringLiteral("Posting to: ") + QString::fromStdString(group));
  frame_->headers()->loadIdentity(identity);
  fillForMode(group, article);

  OpenPostWindows()[id_] = this;
  CNNTPPostHeaders* headers = frame_->headers();
  connect(headers, &CNNTPPostHeaders::edited, this, [this] { modified_ = true; });
  connect(frame_->body(), &QPlainTextEdit::textChanged, this, [this] { modified_ = true; });
  connect(headers, &CNNTPPostHeaders::sendRequested, this, &CNNTPPostDoc::send);
  // Handled once the owner is gone, not in the middle of its destruction.
  if (owner != nullptr) {
    connect(owner, &QObject::destroyed, this, &CNNTPPostDoc::ownerGone, Qt::QueuedConnection);
  }
}

CNNTPPostDoc::~CNNTPPostDoc() { OpenPostWindows().erase(id_); }

int CNNTPPostDoc::helpContext() const { return CommandHelpContext(kCmdNewsreader); }

void CNNTPPostDoc::fillForMode(const std::string& group, const NewsPostArticle& article) {
  CNNTPPostHeaders* headers = frame_->headers();
  headers->newsgroupsField()->setText(QString::fromStdString(group));
  if (mode_ == NewsPostMode::Cancel) {
    cancelId_ = article.messageId;
    headers->subjectField()->setText(QString::fromStdString(CancelSubject(cancelId_)));
    frame_->body()->setPlainText(EditorText(CancelBody(cancelId_)));
  } else if (mode_ == NewsPostMode::FollowUp) {
    references_ = article.articleKey;
    headers->subjectField()->setText(QString::fromStdString(FollowUpSubject(article.subject)));
    if (article.quotedText) {
      frame_->body()->setPlainText(
          EditorText(QuotedFollowUpBody(article.from, *article.quotedText)));
    }
  }
}

void CNNTPPostDoc::focusStartField() {
  if (mode_ == NewsPostMode::Post) {
    frame_->headers()->subjectField()->setFocus();
  } else {
    frame_->body()->setFocus();
  }
}

void CNNTPPostDoc::send() {
  if (awaitingOutcome_) return;
  NewsArticleFields fields = frame_->headers()->fields();
  fields.mode = mode_;
  fields.references = references_;
  fields.cancelId = cancelId_;
  fields.body = frame_->body()->toPlainText().toStdString();
  NewsArticle article = BuildNewsArticle(fields);
  if (article.fault != NewsArticleFault::None) {
    const std::string text = NewsArticleFaultText(article);
    ShowNewsError(this, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    focusFault(article.fault);
    return;
  }
  // Waiting before the POST is queued, so even an outcome that comes at
  // once finds the window expecting it.
  awaitingOutcome_ = true;
  if (owner_.isNull() || !send_ || !send_(std::move(article.wire), id_)) {
    awaitingOutcome_ = false;
    ShowNewsError(this, QString::fromLatin1(kNotQueuedText));
    return;
  }
  if (!awaitingOutcome_) return;
  setBusy(true);
  hideUntilOutcome();
}

void CNNTPPostDoc::focusFault(NewsArticleFault fault) {
  CNNTPPostHeaders* headers = frame_->headers();
  if (fault == NewsArticleFault::SubjectMissing) headers->subjectField()->setFocus();
  if (fault == NewsArticleFault::NewsgroupsMissing) headers->newsgroupsField()->setFocus();
  if (fault == NewsArticleFault::BodyEmpty) frame_->body()->setFocus();
}

void CNNTPPostDoc::postOutcome(NntpPostOutcome outcome) {
  if (!awaitingOutcome_) return;
  awaitingOutcome_ = false;
  setBusy(false);
  if (outcome == NntpPostOutcome::Posted) {
    modified_ = false;
    hostWindow()->close();
    return;
  }
  showAgain();
  // A refusal is told by the newsreader window; nobody else tells this.
  // The box waits for the caller to return: it may be the newsreader
  // window in the middle of its own handling.
  if (outcome == NntpPostOutcome::Unanswered) {
    QMetaObject::invokeMethod(
        this, [this] { ShowNewsError(this, QString::fromLatin1(kNotPostedText)); },
        Qt::QueuedConnection);
  }
}

void CNNTPPostDoc::ownerGone() { postOutcome(NntpPostOutcome::Unanswered); }

QWidget* CNNTPPostDoc::hostWindow() {
  for (QWidget* widget = parentWidget(); widget != nullptr; widget = widget->parentWidget()) {
    if (auto* subWindow = qobject_cast<QMdiSubWindow*>(widget)) return subWindow;
  }
  return window();
}

void CNNTPPostDoc::hideUntilOutcome() {
  QWidget* host = hostWindow();
  if (auto* subWindow = qobject_cast<QMdiSubWindow*>(host); subWindow && subWindow->mdiArea()) {
    subWindow->mdiArea()->activateNextSubWindow();
  }
  host->hide();
}

void CNNTPPostDoc::showAgain() {
  QWidget* host = hostWindow();
  host->show();
  if (auto* subWindow = qobject_cast<QMdiSubWindow*>(host); subWindow && subWindow->mdiArea()) {
    subWindow->mdiArea()->setActiveSubWindow(subWindow);
  } else {
    host->raise();
    host->activateWindow();
  }
}

void CNNTPPostDoc::closeEvent(QCloseEvent* event) {
  // Hidden while the server decides: the article is in flight.
  if (awaitingOutcome_) {
    event->ignore();
    return;
  }
  if (modified_ &&
      !AskPlainYesNo(this, ProductCaption(), QString::fromLatin1(kDoNotPostQuestion))) {
    event->ignore();
    return;
  }
  frame_->saveHeaderHeight();
  event->accept();
}

QWidget* OpenNewsPostWindow(IShellContext& shell, QObject* owner, NewsPostSender send,
                            NewsPostMode mode, const std::string& group,
                            const NewsPostArticle& article) {
  const NewsSettings identity = ReadNewsSettings();
  if (identity.userFullName.empty() || identity.userAddress.empty()) {
    ShowNewsError(shell.mainWindow(), QString::fromLatin1(kIdentityRequiredText));
    return nullptr;
  }
  auto* post = new CNNTPPostDoc(shell.toolServices(), identity, owner, std::move(send), mode, group,
                                article);
  shell.openToolWindow(post, kPostTypeName);
  post->focusStartField();
  return post;
}

void DeliverNewsPostOutcome(NntpWindow window, NntpPostOutcome outcome) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return;
  QMetaObject::invokeMethod(
      application,
      [window, outcome] {
        const auto found = OpenPostWindows().find(window);
        if (found != OpenPostWindows().end() && found->second) found->second->postOutcome(outcome);
      },
      Qt::QueuedConnection);
}

}  // namespace netrove
