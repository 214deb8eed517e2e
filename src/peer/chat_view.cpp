#include "peer/chat_view.h"

#include <QAction>
#include <QClipboard>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include "base/command_ids.h"
#include "base/settings_store.h"
#include "base/tool_key_values.h"

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

CChatView::CChatView(CToolServices& services, QWidget* parent, qsizetype incomingLimit)
    : CToolView(services, parent),
      outgoing_(new QPlainTextEdit(this)),
      incoming_(new QPlainTextEdit(this)),
      send_(new QPushButton(QStringLiteral("SEND"), this)),
      hangUp_(new QPushButton(QStringLiteral("HANG UP"), this)),
      incomingLimit_(incomingLimit) {
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
  layout->setMenuBar(buildEditMenu());
  connect(send_, &QPushButton::clicked, this, &CChatView::sendPressed);
  connect(hangUp_, &QPushButton::clicked, this, [this] {
    if (session_) session_->HangUp();
  });
  outgoing_->setFocus();
  focusedBox_ = outgoing_;
  updateEditActions();
}

// The Edit menu of the chat window: each command acts on the box that has
// the focus, and is offered only where it can do something there.
QMenuBar* CChatView::buildEditMenu() {
  auto* bar = new QMenuBar(this);
  editMenu_ = bar->addMenu(QStringLiteral("&Edit"));
  undo_ = addEditAction(QStringLiteral("&Undo"), [](QPlainTextEdit& box) { box.undo(); });
  editMenu_->addSeparator();
  cut_ = addEditAction(QStringLiteral("Cu&t"), [](QPlainTextEdit& box) { box.cut(); });
  copy_ = addEditAction(QStringLiteral("&Copy"), [](QPlainTextEdit& box) { box.copy(); });
  paste_ = addEditAction(QStringLiteral("&Paste"), [](QPlainTextEdit& box) { box.paste(); });
  delete_ = addEditAction(QStringLiteral("&Delete"),
                          [](QPlainTextEdit& box) { box.textCursor().removeSelectedText(); });
  editMenu_->addSeparator();
  selectAll_ = addEditAction(QStringLiteral("Select &All"), [](QPlainTextEdit& box) {
    box.selectAll();
    box.ensureCursorVisible();
  });
  connect(editMenu_, &QMenu::aboutToShow, this, &CChatView::updateEditActions);
  for (QPlainTextEdit* box : {outgoing_, incoming_}) {
    box->installEventFilter(this);
    connect(box, &QPlainTextEdit::selectionChanged, this, &CChatView::updateEditActions);
  }
  connect(outgoing_, &QPlainTextEdit::undoAvailable, this, [this](bool available) {
    outgoingCanUndo_ = available;
    updateEditActions();
  });
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
          &CChatView::updateEditActions);
  return bar;
}

QAction* CChatView::addEditAction(const QString& text, std::function<void(QPlainTextEdit&)> run) {
  QAction* action = editMenu_->addAction(text);
  connect(action, &QAction::triggered, this, [this, run = std::move(run)] {
    if (focusedBox_ != nullptr) run(*focusedBox_);
    updateEditActions();
  });
  return action;
}

bool CChatView::eventFilter(QObject* watched, QEvent* event) {
  // Enter makes a line break in the outgoing box; Ctrl+Enter sends it.
  if (event->type() == QEvent::KeyPress && watched == outgoing_) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && key->modifiers().testFlag(Qt::ControlModifier)) {
      if (send_->isEnabled()) send_->click();
      return true;
    }
  }
  if (event->type() == QEvent::FocusIn) {
    focusedBox_ = watched == incoming_ ? incoming_ : outgoing_;
    updateEditActions();
  }
  return CToolView::eventFilter(watched, event);
}

// The focus is in the outgoing box when the window first shows, whatever
// the window that hosts it chose.
void CChatView::showEvent(QShowEvent* event) {
  CToolView::showEvent(event);
  if (!std::exchange(shownOnce_, true)) {
    QMetaObject::invokeMethod(
        this, [this] { outgoing_->setFocus(); }, Qt::QueuedConnection);
  }
}

void CChatView::updateEditActions() {
  const bool inOutgoing = focusedBox_ == outgoing_;
  const bool selection = focusedBox_ != nullptr && focusedBox_->textCursor().hasSelection();
  const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
  undo_->setEnabled(inOutgoing && outgoingCanUndo_);
  cut_->setEnabled(inOutgoing && selection);
  copy_->setEnabled(selection);
  paste_->setEnabled(inOutgoing && clipboard != nullptr && clipboard->hasText());
  delete_->setEnabled(inOutgoing && selection);
  selectAll_->setEnabled(focusedBox_ != nullptr);
}

CChatView::~CChatView() {
  // The threads end before the boxes they report to go, and the boxes tell
  // this (by then partly destroyed) view nothing while they go.
  session_.reset();
  outgoing_->disconnect(this);
  incoming_->disconnect(this);
  outgoing_->removeEventFilter(this);
  incoming_->removeEventFilter(this);
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
  dropOldestIncoming();
  scroll->setValue(firstVisible);
}

// Beyond the limit the oldest text goes; the note about it stays first.
void CChatView::dropOldestIncoming() {
  const QString note =
      QStringLiteral("[Older text was dropped: this box keeps only the latest.]\n");
  const qsizetype kept = droppedOldText_ ? note.size() : 0;
  const qsizetype excess = incoming_->document()->characterCount() - kept - incomingLimit_;
  if (excess <= 0) return;
  QTextCursor cursor(incoming_->document());
  cursor.setPosition(static_cast<int>(kept));
  cursor.setPosition(static_cast<int>(kept + excess), QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  if (!std::exchange(droppedOldText_, true)) cursor.insertText(note);
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
