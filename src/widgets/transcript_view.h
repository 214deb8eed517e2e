#pragma once
// The "Reply" box of the text tools: a read-only, multi-line transcript that
// only grows. Text arrives with CR LF line ends and is kept byte for byte as
// it came (text()); the box shows it line by line. While the view is at its
// last line it follows new lines; once the user has scrolled up, the lines
// being read stay where they are.
//
// Appends cost time in proportion to the appended text, not to the length of
// the transcript, so a run left going for a day stays responsive. To that
// end the box itself takes the appended lines together when the event loop
// next runs, before it repaints: text() has them at once, the widget's
// document (toPlainText(), blockCount()) after the pending events have been
// processed.
#include <QPlainTextEdit>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/transcript_sink.h"
#include "base/transcript_text.h"

namespace netrove {

class CTranscriptView : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit CTranscriptView(QWidget* parent = nullptr);
  ~CTranscriptView() override;

  // Appends text (CR LF line ends) at the end. GUI thread only; workers go
  // through a CTranscriptSink.
  void AppendTranscript(std::string_view text);

  // The whole transcript, byte for byte as appended (CR LF line ends).
  const std::string& text() const { return store_.text(); }

  // A byte range of text(): [begin, end).
  struct ByteRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool empty() const { return begin == end; }
  };
  bool hasSelection() const;
  // The selected part of text() (empty when nothing is selected).
  ByteRange selectedRange() const;

  // Number of the top line in view, counted from 0.
  int firstVisibleLine() const;

  // Room for 80 columns of a dozen lines: a tool's lines (a Ping reply, a
  // traceroute hop) are whole in a window of its first size.
  QSize sizeHint() const override;

 private:
  friend class CTranscriptSink;
  struct SinkLink;
  void attachSink(const std::shared_ptr<SinkLink>& link);
  void showAppendedText();

  CTranscriptText store_;
  std::string pendingDisplay_;  // appended, not yet in the document
  bool displayQueued_ = false;
  std::vector<std::weak_ptr<SinkLink>> sinks_;
};

// Lets an engine append to a transcript from any thread.
//
// On the view's (GUI) thread the text is appended at once. From another
// thread the text is handed to the GUI thread and the caller waits until it
// is in the transcript, so the appends of a thread arrive in the order they
// were made and an engine never runs ahead of what the user sees.
//
// Because a worker may wait for the GUI thread, the GUI thread must never
// wait for a worker that may still append (join it, wait on its event)
// unless it first calls detach(). After detach(), and after the view is
// destroyed, appends are dropped at once without waiting; a worker that is
// waiting at that moment is released. Construct, detach and destroy the sink
// on the GUI thread.
class CTranscriptSink : public ITranscriptSink {
 public:
  explicit CTranscriptSink(CTranscriptView& view);
  ~CTranscriptSink() override;
  CTranscriptSink(const CTranscriptSink&) = delete;
  CTranscriptSink& operator=(const CTranscriptSink&) = delete;

  void AppendTranscript(std::string_view text) override;
  void detach();

 private:
  std::shared_ptr<CTranscriptView::SinkLink> link_;
};

}  // namespace netrove
