#include "peer/chat_view.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include "base/settings_store.h"
#include "base/tool_key_values.h"
#include "widgets/command_ids.h"

namespace netrove {
namespace {

constexpr std::string_view kChatToolName = "Chat";
constexpr std::string_view kCloseWindowOnHangUpValue = "CloseWindowOnHangUp";

// Received bytes are text to look at, nothing more: control characters other
// than line breaks and tabs (a zero byte among them) become U+FFFD, and CR LF
// becomes one line break.
QString Harmless(QString text) {
  text.remove(QLatin1Char('\r'));
  for (QChar& c : text) {
    if (c.unicode() < 0x20 && c != QLatin1Char('\n') && c != QLatin1Char('\t')) {
      c = QChar(QChar::ReplacementCharacter);
    }
  }
  return text;
}

QGroupBox* Framed(const QString& title, QWidget* box) {
  auto* group = new QGroupBox(title);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(box);
  return group;
}

}  // namespace

bool ReadCloseWindowOnHangUp() {
  bool close = false;
  if (const auto key = OpenToolKey(kChatToolName, false)) {
    ReadFlag(*key, kCloseWindowOnHangUpValue, close);
  }
  return close;
}

CChatView::CChatView(CToolServices& services, QWidget* parent)
    : CToolView(services, parent),
      outgoing_(new QPlainTextEdit(this)),
      incoming_(new QPlainTextEdit(this)),
      send_(new QPushButton(QStringLiteral("SEND"), this)),
      hangUp_(new QPushButton(QStringLiteral("HANG UP"), this)) {
  incoming_->setReadOnly(true);
  QPalette palette = incoming_->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  incoming_->setPalette(palette);
  send_->setDefault(true);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(send_);
  buttons->addWidget(hangUp_);
  buttons->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(Framed(QStringLiteral("Outgoing Message"), outgoing_), 1);
  top->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(Framed(QStringLiteral("Incoming Message"), incoming_), 1);
  connect(send_, &QPushButton::clicked, this, &CChatView::sendPressed);
  connect(hangUp_, &QPushButton::clicked, this, [this] {
    if (session_) session_->HangUp();
  });
  outgoing_->setFocus();
}

CChatView::~CChatView() {
  // The threads end before the boxes they report to go.
  session_.reset();
}

int CChatView::helpContext() const { return CommandHelpContext(kCmdChat); }

void CChatView::attach(std::shared_ptr<CNetSocket> socket, std::chrono::milliseconds grace) {
  session_ = std::make_unique<CChatSession>(std::move(socket), static_cast<IChatEvents&>(*this),
                                            services().reporter(), grace);
  setBusy(true);
  setCloseEnabled(false);
  session_->Start();
}

void CChatView::sendPressed() {
  if (session_ && session_->Ended()) {
    emit closeRequested();
    return;
  }
  if (session_) session_->Send(outgoing_->toPlainText().toUtf8().toStdString());
}

// The events arrive on the session's threads: each is queued onto the
// window's thread (dropped if the window is gone by then).
void CChatView::ChatReceived(std::string bytes) {
  QMetaObject::invokeMethod(
      this, [this, bytes = std::move(bytes)] { showReceived(bytes); }, Qt::QueuedConnection);
}

void CChatView::ChatPeerClosed() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        appendIncoming(QString::fromLatin1(kChatShutDownNotice.data(),
                                           static_cast<qsizetype>(kChatShutDownNotice.size())));
      },
      Qt::QueuedConnection);
}

void CChatView::ChatHangingUp() {
  QMetaObject::invokeMethod(
      this, [this] { enterHangingUp(); }, Qt::QueuedConnection);
}

void CChatView::ChatEnded() {
  QMetaObject::invokeMethod(
      this, [this] { enterEnded(); }, Qt::QueuedConnection);
}

void CChatView::showReceived(const std::string& bytes) {
  if (attention_.Allow(std::chrono::steady_clock::now())) services().reporter().PostAttention();
  appendIncoming(Harmless(
      decoder_.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())))));
}

// Appends at the end, keeping the first visible line where it was.
void CChatView::appendIncoming(const QString& text) {
  QScrollBar* scroll = incoming_->verticalScrollBar();
  const int firstVisible = scroll->value();
  QTextCursor cursor(incoming_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text);
  const qsizetype excess = incoming_->document()->characterCount() - kChatIncomingLimit;
  if (excess > 0) {
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor,
                        static_cast<int>(excess));
    cursor.removeSelectedText();
    if (!std::exchange(droppedOldText_, true)) {
      cursor.insertText(
          QStringLiteral("[Older text was dropped: this box keeps the last 16 MiB.]\n"));
    }
  }
  scroll->setValue(firstVisible);
}

void CChatView::enterHangingUp() {
  send_->setText(QStringLiteral("Close"));
  send_->setEnabled(false);
  hangUp_->setEnabled(false);
  hangUp_->hide();
}

void CChatView::enterEnded() {
  setCloseEnabled(true);
  send_->setEnabled(true);
  setBusy(false);
  if (ReadCloseWindowOnHangUp()) emit closeRequested();
}

}  // namespace netrove
