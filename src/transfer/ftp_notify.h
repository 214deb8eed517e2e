#pragma once
// How an FTP connection tells its window and its two file trees what
// happened. The window implements these by queuing onto its GUI thread (never
// blocking the connection's threads), tests by recording, the command-line
// front end by printing. Every call comes from one of the connection's
// threads unless said otherwise.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/tool_message.h"
#include "transfer/ftp_operation.h"

namespace netrove {

inline constexpr unsigned WM_FTP_NOTIFY = kWmUser + 130;
// WM_FTP_NOTIFY codes (wParam).
inline constexpr int kFtpConnectionEnded = 1155;
inline constexpr int kFtpConnected = 1156;

// The pages of the FTP window that receive WM_FTP_NOTIFY.
enum class FtpPage { Login, Directories };

class IFtpPageNotifier {
 public:
  virtual ~IFtpPageNotifier() = default;
  // WM_FTP_NOTIFY with `code` to `page`.
  virtual void NotifyPage(FtpPage page, int code) = 0;
  // The bell after a file-transfer reply (only when the "Bell" setting is on).
  virtual void Beep() = 0;
};

// The results the trees receive. Every request (CFtpConnection::Start) ends
// with exactly one OperationEnded; a plain command the window queued
// (NOOP, PWD, SITE...) ends with Release. So a pane is never left busy.
class IFtpPanes {
 public:
  virtual ~IFtpPanes() = default;
  // A plain command is over (idle again, normal cursor).
  virtual void Release() = 0;
  virtual void OperationEnded(std::uint64_t id, FtpOperationKind kind, FtpOutcome outcome) = 0;
  // A complete LIST text, before its operation's end; `rootLabel` is the
  // current remote folder. The listing after the login has id 0.
  virtual void ListingReceived(std::string text, std::string rootLabel) = 0;
  // The name the server chose for a STOU upload (from its 125/150 reply).
  virtual void SetNewItemLabel(std::string label) = 0;
  virtual void ClearRemoteTree() = 0;
  // Bytes moved so far by the transfer running; called from its thread.
  virtual void TransferProgress(std::uint64_t bytes) = 0;
};

// Questions the window answers before local data is touched. Called on the
// thread that started the operation (the GUI thread).
class IFtpQuestions {
 public:
  virtual ~IFtpQuestions() = default;
  // "Confirm File Replace" for a local file `fileName` (no folder): true to
  // replace it.
  virtual bool ConfirmReplace(std::string_view fileName) = 0;
};

// "Confirm File Replace\n\nThis folder already contains a file called
// '<name>'.\n\nWould you like to replace the existing file?"
std::string ConfirmReplaceText(std::string_view fileName);

}  // namespace netrove
