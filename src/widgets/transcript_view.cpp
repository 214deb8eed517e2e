#include "widgets/transcript_view.h"

#include <QFontMetrics>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <condition_variable>
#include <cstdint>

namespace netrove {
namespace {

// A burst of appends without the event loop running can leave a large
// buffer behind; keep no more than this for the next one.
constexpr std::size_t kKeptDisplayCapacity = 1 << 20;

}  // namespace

// What a sink shares with its view and with the GUI-thread calls it has
// queued. The mutex guards every field.
struct CTranscriptView::SinkLink {
  std::mutex mutex;
  std::condition_variable appended;
  CTranscriptView* view = nullptr;  // null once detached
  std::uint64_t queued = 0;         // appends handed to the GUI thread
  std::uint64_t applied = 0;        // of those, the ones done (in order)

  void Detach() {
    {
      const std::lock_guard lock(mutex);
      view = nullptr;
    }
    appended.notify_all();
  }
};

CTranscriptView::CTranscriptView(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setUndoRedoEnabled(false);  // an undo stack would keep a copy of every append
  setLineWrapMode(QPlainTextEdit::NoWrap);
}

CTranscriptView::~CTranscriptView() {
  for (const auto& weak : sinks_) {
    if (const auto link = weak.lock()) link->Detach();
  }
}

void CTranscriptView::AppendTranscript(std::string_view text) {
  pendingDisplay_ += store_.Append(text);
  if (pendingDisplay_.empty() || displayQueued_) return;
  displayQueued_ = true;
  QMetaObject::invokeMethod(this, &CTranscriptView::showAppendedText, Qt::QueuedConnection);
}

void CTranscriptView::showAppendedText() {
  displayQueued_ = false;
  if (pendingDisplay_.empty()) return;
  // As a terminal does: a reader at the last line follows the new lines, a
  // reader who has scrolled up keeps the lines in view. Inserted at the end
  // through a cursor of our own, the text leaves the user's cursor and
  // selection alone; many lines at once are laid out only when they come
  // into view.
  QScrollBar* bar = verticalScrollBar();
  const bool followEnd = bar->value() >= bar->maximum();
  QTextCursor end(document());
  end.movePosition(QTextCursor::End);
  end.insertText(
      QString::fromUtf8(pendingDisplay_.data(), static_cast<qsizetype>(pendingDisplay_.size())));
  if (followEnd) bar->setValue(bar->maximum());
  pendingDisplay_.clear();
  if (pendingDisplay_.capacity() > kKeptDisplayCapacity) pendingDisplay_.shrink_to_fit();
}

bool CTranscriptView::hasSelection() const { return textCursor().hasSelection(); }

CTranscriptView::ByteRange CTranscriptView::selectedRange() const {
  const QTextCursor cursor = textCursor();
  if (!cursor.hasSelection()) return {};
  const auto toByteOffset = [this](int position) {
    const QTextBlock block = document()->findBlock(position);
    return store_.ByteOffset(static_cast<std::size_t>(block.blockNumber()),
                             static_cast<std::size_t>(position - block.position()));
  };
  return {toByteOffset(cursor.selectionStart()), toByteOffset(cursor.selectionEnd())};
}

int CTranscriptView::firstVisibleLine() const { return firstVisibleBlock().blockNumber(); }

QSize CTranscriptView::sizeHint() const {
  constexpr int kColumns = 80;
  constexpr int kLines = 12;
  const QFontMetrics metrics(font());
  const int frame = 2 * frameWidth() + 2 * static_cast<int>(document()->documentMargin());
  const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  return {metrics.horizontalAdvance(QString(kColumns, QLatin1Char('0'))) + frame + scrollBar,
          metrics.lineSpacing() * kLines + frame + scrollBar};
}

void CTranscriptView::attachSink(const std::shared_ptr<SinkLink>& link) {
  std::erase_if(sinks_, [](const std::weak_ptr<SinkLink>& weak) { return weak.expired(); });
  sinks_.push_back(link);
}

CTranscriptSink::CTranscriptSink(CTranscriptView& view)
    : link_(std::make_shared<CTranscriptView::SinkLink>()) {
  link_->view = &view;
  view.attachSink(link_);
}

CTranscriptSink::~CTranscriptSink() { detach(); }

void CTranscriptSink::detach() { link_->Detach(); }

void CTranscriptSink::AppendTranscript(std::string_view text) {
  const std::shared_ptr<CTranscriptView::SinkLink> link = link_;
  std::unique_lock lock(link->mutex);
  CTranscriptView* view = link->view;
  if (view == nullptr) return;
  if (QThread::currentThread() == view->thread()) {
    lock.unlock();
    view->AppendTranscript(text);
    return;
  }
  // Posted while the lock is held, so the view cannot be detached (and then
  // destroyed) before the call is queued; a destroyed view drops the call.
  const std::uint64_t ticket = ++link->queued;
  QMetaObject::invokeMethod(
      view,
      [link, ticket, copy = std::string(text)] {
        CTranscriptView* target;
        {
          const std::lock_guard guard(link->mutex);
          target = link->view;
        }
        if (target != nullptr) target->AppendTranscript(copy);
        {
          const std::lock_guard guard(link->mutex);
          link->applied = ticket;
        }
        link->appended.notify_all();
      },
      Qt::QueuedConnection);
  link->appended.wait(lock, [&] { return link->view == nullptr || link->applied >= ticket; });
}

}  // namespace netrove
