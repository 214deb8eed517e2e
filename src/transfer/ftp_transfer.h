#pragma once
// One data connection of an FTP connection and everything it moves: the
// listener or the passive connect, the local file, the bytes. Each transfer
// owns its own context and its own thread, so a reply that ends an
// operation early, or the next operation, never touches the fields a
// running thread still uses. The file under its final name appears only
// when both the server's final reply and the thread say the transfer is
// complete.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "base/ignored_run_finished.h"
#include "base/net_socket.h"
#include "base/run_lifecycle.h"
#include "base/tls.h"

namespace netrove {

class IMainWindowReporter;
class IFtpPanes;

enum class FtpTransferKind { Listing, NameList, Download, Upload };

// CR LF to LF on the way in (a CR at the end of one block waits for the next).
class CAsciiDecoder {
 public:
  void Decode(std::string_view in, std::string& out);
  void Flush(std::string& out);  // a CR left at the very end

 private:
  bool pendingCr_ = false;
};

// LF to CR LF on the way out; a CR LF already in the file stays as it is.
class CAsciiEncoder {
 public:
  void Encode(std::string_view in, std::string& out);

 private:
  bool lastWasCr_ = false;
};

// Where an interrupted binary download of `target` keeps what it received:
// beside it, named "<name>.part", never under the name itself.
std::filesystem::path PartialDownloadPath(const std::filesystem::path& target);

class CFtpTransfer {
 public:
  // ascii: convert line ends (files only; listings stay as sent).
  CFtpTransfer(FtpTransferKind kind, bool ascii, IMainWindowReporter& reporter, IFtpPanes& panes);
  ~CFtpTransfer();
  CFtpTransfer(const CFtpTransfer&) = delete;
  CFtpTransfer& operator=(const CFtpTransfer&) = delete;

  FtpTransferKind kind() const { return kind_; }

  // Downloads go to a new file beside `target` and are renamed over it only
  // on success, so an existing file is untouched until then. With
  // `keepPartial`, what a failed binary download received is kept as
  // PartialDownloadPath(target) for a later resume; otherwise it goes. A
  // system error code, 0 on success.
  int CreateDownloadFile(const std::filesystem::path& target, bool keepPartial = false);
  // A resumed download: written into `file` from `offset` on (its end), in
  // place, and renamed to `target` on success when the two differ. Nothing
  // already in `file` is ever removed.
  int ResumeDownloadFile(const std::filesystem::path& file, std::uint64_t offset,
                         const std::filesystem::path& target);
  // An editor download: into an existing temporary file that stays in place.
  int UseTemporaryFile(const std::filesystem::path& temporary);
  // Sends from `offset` on (a resumed upload).
  int OpenUploadFile(const std::filesystem::path& source, std::uint64_t offset = 0);

  // The data connection runs in TLS (this side the client, in active mode
  // too), typically resuming the control connection's session. Before
  // Listen or StartPassive.
  void SecureWith(TlsClientOptions options) { tls_ = std::move(options); }

  // Active mode: listens on `localAddress` (the control connection's own
  // address, any port) and starts the thread, which accepts one connection
  // from the control connection's peer only. The address to announce goes
  // to `announced`.
  SocketStatus Listen(const SocketAddress& localAddress, const SocketAddress& serverAddress,
                      SocketAddress& announced);
  // Passive mode: starts the thread, which connects to `dataAddress`.
  void StartPassive(const SocketAddress& dataAddress);

  // The transfer command has gone out: an upload may now send (a server may
  // connect to an active listener as soon as it has seen PORT, well before
  // it will take data).
  void CommandSent();

  // Wakes the thread (the data connection is reset, not ended normally);
  // the transfer can then only fail. Any thread, any number of times.
  void Cancel();
  // Waits for the thread and keeps or removes the file: kept (renamed into
  // place) only when `replyPositive` and the thread moved everything. After
  // a positive reply the data connection has `bound` to end (0: no bound);
  // then it is reset and the transfer fails. Returns whether the transfer
  // succeeded. Call once, not on the transfer's thread.
  bool Finish(bool replyPositive, std::chrono::milliseconds bound = {});

  // Downloads: the size the server announced (SIZE, binary only). A byte
  // count that differs fails the transfer, and the partial copy is kept
  // beside the target as "<target>.part" and named in a message.
  void ExpectSize(std::uint64_t bytes) { expectedSize_ = bytes; }
  // Downloads: the server's modification time (seconds since 1970, UTC),
  // given to the file kept. Both before the transfer command is queued.
  void KeepRemoteTime(std::int64_t seconds) { remoteTime_ = seconds; }

  // Data moving stores the steady clock's time (nanoseconds) in `clock`.
  void WatchActivity(std::atomic<std::int64_t>& clock) { activity_ = &clock; }

  // LIST/NLST text, valid after a successful Finish.
  std::string TakeText() { return std::move(text_); }

 private:
  void Run(bool passive, SocketAddress dataAddress);
  SocketStatus MakeConnection(bool passive, const SocketAddress& dataAddress);
  bool SecureConnection();
  bool EndSecureUpload();
  bool Receive();
  bool Send();
  bool WriteLocal(std::string_view bytes);
  void WriteBack();
  void ReportSystemError(int code);
  bool KeepPartial();
  bool FinishDownloadFile(bool success);
  bool SizeDiffers() const;
  void KeepPartialCopy();
  void ApplyRemoteTime();
  void ResetConnection();
  void Start(bool passive, const SocketAddress& dataAddress);
  void NoteActivity();

  const FtpTransferKind kind_;
  const bool ascii_;
  IMainWindowReporter& reporter_;
  IFtpPanes& panes_;

  std::mutex startMutex_;  // Start and Cancel against each other
  bool cancelled_ = false;
  bool started_ = false;
  std::atomic<bool> resetWanted_{false};
  std::condition_variable startWake_;  // CommandSent and Cancel
  bool commandSent_ = false;

  CNetSocket listener_;
  CNetSocket data_;
  SocketAddress serverAddress_;
  std::optional<TlsClientOptions> tls_;
  int file_ = -1;
  std::filesystem::path target_;     // downloads: where the file goes on success
  std::filesystem::path temporary_;  // downloads: where it is written
  bool keepTemporary_ = false;       // editor downloads
  bool resumed_ = false;             // written in place: never removed
  std::filesystem::path partial_;    // where a failed download's bytes stay
  std::string text_;
  bool threadSucceeded_ = false;   // written by the thread, read after join
  std::uint64_t received_ = 0;     // likewise: bytes of the data connection
  std::uint64_t written_ = 0;      // the thread's: bytes written to the file
  std::uint64_t writtenBack_ = 0;  // of those, how many were sent to the disk
  off_t previousWindow_ = 0;       // where the last window sent began
  std::optional<std::uint64_t> expectedSize_;
  std::optional<std::int64_t> remoteTime_;
  std::atomic<std::int64_t>* activity_ = nullptr;
  std::mutex doneMutex_;
  std::condition_variable doneWake_;
  bool done_ = false;  // the thread has finished with the data connection
  // Last: its worker ends before the fields above go.
  CRunLifecycle lifecycle_{IgnoredRunFinished(), 0};
};

}  // namespace netrove
