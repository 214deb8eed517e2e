#include "news/news_post_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "base/product.h"
#include "news/news_error_box.h"
#include "news/news_post_frame.h"
#include "news/news_post_headers.h"
#include "news/news_settings.h"
#include "widgets/command_ids.h"
#include "widgets/message_boxes.h"
#include "widgets/shell_context.h"

namespace netrove {
namespace {

const QString kPostTypeName = QStringLiteral("NNTPPost");

QString ProductCaption() { return QString::fromUtf8(kProductTitle.data(), kProductTitle.size()); }

// The editor ends lines with LF; the texts built for it use CR LF.
QString EditorText(const std::string& text) {
  return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

CNNTPPostDoc::CNNTPPostDoc(CToolServices& services, const NewsSettings& identity,
                           QObject* newsreader, NewsPostMode mode, const NewsPostContext& context,
                           QWidget* parent)
    : CToolView(services, parent),
      frame_(new CNNTPFramePost(this)),
      target_(context.target),
      mode_(mode) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(frame_);
  setDocumentTitle(QStringLiteral("Posting to: ") + QString::fromStdString(context.group));
  frame_->headers()->loadIdentity(identity);
  fillForMode(context);

  CNNTPPostHeaders* headers = frame_->headers();
  connect(headers, &CNNTPPostHeaders::edited, this, [this] { modified_ = true; });
  connect(frame_->body(), &QPlainTextEdit::textChanged, this, [this] { modified_ = true; });
  connect(headers, &CNNTPPostHeaders::sendRequested, this, &CNNTPPostDoc::send);
  // The newsreader window promises an outcome even when it closes; should
  // it go without one, the article must not stay hidden.
  if (newsreader != nullptr) {
    connect(
        newsreader, &QObject::destroyed, this, [this] { postOutcome(0); }, Qt::QueuedConnection);
  }
}

CNNTPPostDoc::~CNNTPPostDoc() = default;

int CNNTPPostDoc::helpContext() const { return CommandHelpContext(kCmdNewsreader); }

void CNNTPPostDoc::fillForMode(const NewsPostContext& context) {
  CNNTPPostHeaders* headers = frame_->headers();
  headers->newsgroupsField()->setText(QString::fromStdString(context.group));
  if (mode_ == NewsPostMode::Cancel) {
    cancelId_ = context.messageId;
    headers->subjectField()->setText(QString::fromStdString(CancelSubject(cancelId_)));
    frame_->body()->setPlainText(EditorText(CancelBody(cancelId_)));
  } else if (mode_ == NewsPostMode::FollowUp) {
    references_ = context.references;
    headers->subjectField()->setText(
        QString::fromStdString(FollowUpSubject(context.followUpSubject)));
    if (context.quotedText) {
      frame_->body()->setPlainText(
          EditorText(QuotedFollowUpBody(context.from, *context.quotedText)));
    }
  }
}

void CNNTPPostDoc::focusStartField() {
  if (mode_ == NewsPostMode::New) {
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
    const std::string_view text = NewsArticleFaultText(article.fault);
    ShowNewsError(this, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    focusFault(article.fault);
    return;
  }
  const std::shared_ptr<INewsPostTarget> target = target_.lock();
  const QPointer<CNNTPPostDoc> self(this);
  const auto finished = [self](long status) {
    if (self) self->postOutcome(status);
  };
  // Waiting before the POST is queued, so even an outcome that comes at
  // once finds the window expecting it.
  awaitingOutcome_ = true;
  if (!target || !target->QueuePost(std::move(article.wire), finished)) {
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

void CNNTPPostDoc::postOutcome(long status) {
  if (!awaitingOutcome_) return;
  awaitingOutcome_ = false;
  setBusy(false);
  if (status == 240) {
    modified_ = false;
    hostWindow()->close();
    return;
  }
  showAgain();
  // 440 and 441 are told by the newsreader window; nobody else tells this.
  // The box waits for the caller to return: it may be the newsreader
  // window in the middle of its own handling.
  if (status != 440 && status != 441) {
    QMetaObject::invokeMethod(
        this, [this] { ShowNewsError(this, QString::fromLatin1(kNotPostedText)); },
        Qt::QueuedConnection);
  }
}

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

QWidget* OpenNewsPostWindow(CToolServices& services, QWidget* newsreader, NewsPostMode mode,
                            const NewsPostContext& context) {
  const NewsSettings identity = ReadNewsSettings();
  if (identity.userFullName.empty() || identity.userAddress.empty()) {
    ShowNewsError(newsreader, QString::fromLatin1(kIdentityRequiredText));
    return nullptr;
  }
  auto* post = new CNNTPPostDoc(services, identity, newsreader, mode, context);
  // The main window hosts tool windows; without one the window stands alone.
  if (auto* shell = dynamic_cast<IShellContext*>(&services)) {
    shell->openToolWindow(post, kPostTypeName);
  } else {
    post->setAttribute(Qt::WA_DeleteOnClose);
    post->show();
  }
  post->focusStartField();
  return post;
}

}  // namespace netrove
