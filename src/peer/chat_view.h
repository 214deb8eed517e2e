#pragma once
// The chat window: an "Outgoing Message" box the user writes in, an
// "Incoming Message" box showing what the other side sends, "SEND" and
// "HANG UP". The conversation itself runs in CChatSession; its events are
// queued onto this window's thread, and no worker ever reads a widget.
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

#include "peer/chat_session.h"
#include "peer/chat_text.h"
#include "widgets/tool_view.h"

class QAction;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;

namespace netrove {

// The incoming box keeps at most this many characters; older text is
// dropped (with one note) so a peer that never stops cannot eat the memory.
inline constexpr qsizetype kChatIncomingLimit = 16 * 1024 * 1024;
// Received text beeps and flashes the main window at most once per this.
inline constexpr std::chrono::seconds kChatAttentionQuiet{3};

class CChatView : public CToolView, private IChatEvents {
  Q_OBJECT

 public:
  explicit CChatView(CToolServices& services, QWidget* parent = nullptr,
                     qsizetype incomingLimit = kChatIncomingLimit);
  ~CChatView() override;

  // Starts the conversation on a connected socket.
  void attach(std::shared_ptr<CNetSocket> socket,
              std::chrono::milliseconds grace = kChatHangUpGrace);
  int helpContext() const override;

  QPlainTextEdit* outgoingBox() const { return outgoing_; }
  QPlainTextEdit* incomingBox() const { return incoming_; }
  QPushButton* sendButton() const { return send_; }
  QPushButton* hangUpButton() const { return hangUp_; }
  QMenu* editMenu() const { return editMenu_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ChatReceived(std::string bytes) override;
  void ChatPeerClosed() override;
  void ChatHangingUp() override;
  void ChatEnded() override;

  void sendPressed();
  void showReceived(const std::string& bytes);
  void appendIncoming(const QString& text);
  void dropOldestIncoming();
  void enterHangingUp();
  void enterEnded();
  QMenuBar* buildEditMenu();
  void updateEditActions();
  QAction* addEditAction(const QString& text, std::function<void(QPlainTextEdit&)> run);

  QPlainTextEdit* outgoing_;
  QPlainTextEdit* incoming_;
  QPushButton* send_;
  QPushButton* hangUp_;
  // The Edit menu acts on whichever of the two boxes last had the focus.
  QPlainTextEdit* focusedBox_ = nullptr;
  bool outgoingCanUndo_ = false;
  QMenu* editMenu_ = nullptr;
  QAction* undo_ = nullptr;
  QAction* cut_ = nullptr;
  QAction* copy_ = nullptr;
  QAction* paste_ = nullptr;
  QAction* delete_ = nullptr;
  QAction* selectAll_ = nullptr;
  CChatIncomingText incomingText_;
  CAttentionGate attention_{kChatAttentionQuiet};
  bool droppedOldText_ = false;
  bool shownOnce_ = false;
  const qsizetype incomingLimit_;
  std::unique_ptr<CChatSession> session_;
};

// "Close window on hang up." of the Chat page.
bool ReadCloseWindowOnHangUp();

}  // namespace netrove
